// Property clouds: named sets of properties that the service keeps for a product under a
// cloud id. A library part records its clouds in the array parameter "KDPC_HNDL" (rows of
// cloud id, linked flag, edition) and holds each cloud's properties as ordinary parameters
// between "KDPC_Title" and "KDPC_Separator".
#pragma once

#include "ACAPI.hpp"

#include <optional>
#include <string>

class XmlAnswer;

// What the cloud calls answer; the pages read these values, so they stay as they are. Each
// value serves more than one failure, as the calls below say.
namespace KDPCResult {
constexpr int Done = 0;
// No such part, no cloud data for it, or (link, unlink) the cloud is not on the part.
constexpr int PartNotFound = -1;
// The part carries no product GUID or no place for clouds, or (link, unlink) its parameters
// cannot be read.
constexpr int NotCloudReady = -2;
// The parameters could not be read, built or changed, or the temporary path is too long, or
// (link, unlink) the cloud is already in the state asked for.
constexpr int ModificationFailed = -3;
// The cloud is attached already (add) or not attached (link, unlink), or the part could not
// be stored.
constexpr int AttachmentConflict = -4;
// The list has no "KDPC_HNDL".
constexpr int NoHandleList = -5;
// A "KDPC_HNDL" has no row of the cloud.
constexpr int NoCloudRow = -6;
}  // namespace KDPCResult

class KDPCManager {
public:
    // One entry of a cloud; the first entry of a cloud is its title.
    struct KDPCParamType {
        std::string variableName;
        std::string name;
        std::optional<std::string> value;  // absent only on the title entry
        int32_t kind = 1;
        bool visible = false;
        bool editable = false;
        bool isTitle = false;
    };

    // One cloud as received for one library part, entries in the order of the answer.
    struct KDPCInfo {
        std::string name;
        std::string lastModified;
        GS::Array<KDPCParamType> params;
    };

    // Fills one simple parameter record; the record is not cleared first. The host's default
    // character code is UTF-8, so texts are read as UTF-8 whatever `utf8` says, and always cut
    // to their fields.
    static void NAddParameter(API_AddParType* param, short index, API_AddParID type, unsigned short flags,
                              const char* name, const char* description, double value, const char* text, bool utf8);
    // Fills one array parameter record with its own copy of `cells`; the caller keeps `cells`.
    static void AddParameterArray(API_AddParType* param, short index, API_AddParID type, unsigned short flags,
                                  const char* name, const char* description, int dim1, int dim2, GSHandle cells);

    // 0 (also when nothing could be asked or read: `info` may stay empty), -1 no such part,
    // -2 no product GUID, -3 temporary path too long.
    static int RetrieveObjectRelatedInformation(int libPartIndex, int cloudId, KDPCInfo* info);
    // One cloud query for a known product. `info` holds the answer's entries when it was read
    // whole and stays empty otherwise; `editionNumber` (optional) gets the answer's edition,
    // -1 when it carries none. A temporary path too long is told to the user; nothing is sent.
    enum class CloudQuery { Sent, NotSent, PathTooLong };
    static CloudQuery AskForCloud(const char* apiKey, const std::string& productGuid, int cloudId, KDPCInfo* info,
                                  int* editionNumber);

    static int AddKDPCParams(int libPartIndex, int cloudId);
    static int LinkKDPCParams(int libPartIndex, int cloudId);
    static int UnlinkKDPCParams(int libPartIndex, int cloudId);

    // Appends to `missing` the position of every entry the part has no parameter for.
    static int CollectKDPCInfoOfLibPart(int libPartIndex, const char* prefix, const KDPCInfo& info,
                                        GS::Array<int>* missing);
    // Merges the cloud's entries into the list; `params` may be reallocated, `count` grows
    // by the records inserted. Never drops a record, and leaves every index field equal to
    // its record's position. 0, or -3 with the list as it was when it cannot grow.
    static int UpdateKDPCMemo(API_AddParType**& params, int32_t& count, const char* prefix, const KDPCInfo& info,
                              const GS::Array<int>& missing);
    static int UpdateKDPCParams(int libPartIndex, int cloudId, bool refreshInstances);
    static int UpdateKDPCParams(int libPartIndex);

    // Writes `edition` into the cloud's row of every "KDPC_HNDL" of the list: 0, or after its
    // alert -5 (no "KDPC_HNDL") or -6 (one without the cloud's row). Cells stay inside the array.
    static int WriteCloudEdition(API_AddParType** params, int32_t count, int cloudId, double edition);

    // The part of a cloud's variable names that all its parameters share.
    static std::string CloudPrefix(const KDPCInfo& info);

private:
    static int RefreshWith(int libPartIndex, int cloudId, const KDPCInfo& info, bool refreshInstances);
    static int SetLinked(int libPartIndex, int cloudId, double target);
};

// Reads a cloud answer into `info` and, when asked, the cloud's edition (-1 when the answer
// names none); true when it was read to the end of its root element.
bool ReadKDPCAnswer(XmlAnswer& reader, KDPCManager::KDPCInfo* info, int* editionNumber = nullptr);

// The alert every failed change of a part's parameters shows.
std::string ModificationErrorMessage();
