// The simulated host's project: libraries and their parts, placed elements with their own
// parameter lists, the selection, the tools' defaults and the undo steps.
#pragma once

#include "ACAPI.hpp"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace DevHost {

struct Parameter {
    std::string name;
    API_AddParID type = APIParT_RealNum;
    int32_t flags = 0;
    std::u16string description;
    double real = 0;
    std::u16string text;
    bool isArray = false;
    int32_t dim1 = 0;
    int32_t dim2 = 0;
    std::vector<double> cells;  // row by row
};

struct LibraryPartData {
    int32_t index = 0;
    API_LibTypeID typeID = 0;
    std::string name;
    std::string ownUnID;
    std::vector<std::string> parents;
    std::string file;  // inside a container: the container's path, "/", the entry
    bool placeable = true;
    API_LibPartDetails details;
    std::vector<Parameter> params;
};

struct PlacedElement {
    API_Guid guid;
    API_ElemTypeID type = API_ZombieElemID;
    std::string partId;  // own unique id of its library part; empty for walls, zones, ...
    int32_t libInd = 0;
    bool editable = true;
    std::vector<Parameter> params;
};

class Project {
public:
    using Log = std::function<void(const std::string&)>;

    // A fresh project whose embedded library lives under `folder`.
    Project(Log log, const std::string& folder);

    // Reads a project file; `workingCopy` first copies the project's folder beside the
    // default one, so the original stays untouched. Answers an empty text or why it failed.
    std::string Open(const std::string& file, bool workingCopy);
    std::string Save(const std::string& file) const;
    const std::string& File() const { return file_; }

    void LoadLibraries();
    std::string SelectElements(const std::vector<std::string>& guids);

    std::string DescribePart(const std::string& which) const;
    std::string DescribeElement(const std::string& guid) const;

    const LibraryPartData* Part(int32_t index) const;
    const LibraryPartData* PartById(const std::string& ownUnID) const;
    PlacedElement* Element(const API_Guid& guid);
    const std::vector<LibraryPartData>& Parts() const { return parts_; }
    int32_t ToolboxSelection() const { return toolbox_; }

    // Host functions
    std::optional<GSErrCode> Environment(int32_t code, void* par1, void* par2);
    std::optional<GSErrCode> Goodies(int32_t code, void* par1, void* par2);
    GSErrCode LibPartGetNum(int32_t* count) const;
    GSErrCode LibPartGet(API_LibPart* libPart) const;
    GSErrCode LibPartGetParams(int32_t libInd, double* a, double* b, int32_t* count, API_AddParType*** params) const;
    GSErrCode LibPartSearch(API_LibPart* libPart, bool wideSearch = false) const;
    GSErrCode LibPartRegister(API_LibPart* libPart);
    GSErrCode LibPartGetDetails(int32_t libInd, API_LibPartDetails* details) const;
    GSErrCode LibPartGetSectParamDef(const API_LibPart* libPart, API_AddParType** params, double* a, double* b,
                                     GSHandle* section) const;
    GSErrCode LibPartSetDetailsParamDef(const API_LibPart* libPart, API_AddParType** params,
                                        const API_LibPartDetails* details);
    GSErrCode LibPartUpdateSection(int32_t libInd, const API_LibPartSection* section, GSHandle content);
    GSErrCode ElementGetElemList(API_ElemTypeID typeID, GS::Array<API_Guid>* guids) const;
    GSErrCode ElementGet(API_Element* element);
    GSErrCode ElementGetMemo(const API_Guid* guid, API_ElementMemo* memo, uint64_t mask);
    GSErrCode ElementChangeMemo(const API_Guid* guid, uint64_t mask, const API_ElementMemo* memo);
    GSErrCode ElementChange(API_Element* element, const API_Element* mask, const API_ElementMemo* memo,
                            uint64_t memoMask);
    GSErrCode ElementGetDefaults(API_Element* element, API_ElementMemo* memo);
    GSErrCode ElementChangeDefaults(API_Element* element, API_ElementMemo* memo);
    GSErrCode ElementFilter(const API_Guid* guid, uint32_t bits);
    GSErrCode SelectionGet(API_SelectionInfo* info, GS::Array<API_Neig>* neigs, bool onlyEditable);
    GSErrCode CallUndoableCommand(const char* name, GSErrCode (*command)(void*), void* context);
    GSErrCode OpenUndoableSession(const char* name);
    GSErrCode CloseUndoableSession();

    // Fills the library-part, element, selection and undo entries of the host's table; each
    // reaches the running host's project.
    static void FillTable(API_HostTable& table);

private:
    struct Library {
        std::string folder;
        std::string name;
        bool embedded = false;
    };
    bool IsSubtypeOf(const std::string& ownUnID, const std::string& parent, int depth = 0) const;
    // The library list's part of Environment.
    std::optional<GSErrCode> LibraryEnvironment(int32_t code, void* par1, void* par2);
    // True inside an undoable step; otherwise logs the refusal of changing the element.
    bool Editing(const PlacedElement& element);
    void IndexParts();
    void IndexElements();
    std::string ResolvePath(const std::string& path) const;

    Log log_;
    std::string file_;
    std::vector<Library> libraries_;
    struct GuidHash {
        size_t operator()(const API_Guid& guid) const;
    };
    std::vector<LibraryPartData> parts_;
    // Own unique ids, with letters in lower case as the host compares them, to positions in
    // parts_; the first part of an id wins.
    std::unordered_map<std::string, size_t> partsById_;
    std::vector<PlacedElement> elements_;
    std::unordered_map<API_Guid, size_t, GuidHash> elementsByGuid_;
    std::vector<API_Guid> selection_;
    struct Defaults {
        int32_t libInd = 0;
        std::vector<Parameter> params;
    };
    std::map<API_ElemTypeID, Defaults> defaults_;
    int32_t toolbox_ = 0;
    std::optional<std::string> openStep_;
};

// The parameter list of a part file or a project element, and back.
std::vector<Parameter> ParametersFromHandle(API_AddParType** params);
// The same into an existing list, whose texts keep their storage where it suffices.
void AssignParametersFromHandle(API_AddParType** params, std::vector<Parameter>& list);
API_AddParType** ParametersToHandle(const std::vector<Parameter>& params);
std::string TypeName(API_ElemTypeID type);
std::string DescribeParameter(const Parameter& p);

}  // namespace DevHost
