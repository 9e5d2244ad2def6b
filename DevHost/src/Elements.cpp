// The placed elements of the project, the tools' defaults and the selection.
#include "ProjectFiles.hpp"

namespace DevHost {

std::string Project::SelectElements(const std::vector<std::string>& guids)
{
    std::vector<API_Guid> selection;
    for (const auto& text : guids) {
        const API_Guid guid = APIGuidFromString(text.c_str());
        if (Element(guid) == nullptr)
            return "no element " + text;
        selection.push_back(guid);
    }
    selection_ = selection;
    log_("selection: " + std::to_string(selection_.size()) + " element(s)");
    return {};
}

PlacedElement* Project::Element(const API_Guid& guid)
{
    const auto found = elementsByGuid_.find(guid);
    return found != elementsByGuid_.end() ? &elements_[found->second] : nullptr;
}

size_t Project::GuidHash::operator()(const API_Guid& guid) const
{
    uint64_t halves[2];
    std::memcpy(halves, guid.bytes, sizeof halves);
    return std::hash<uint64_t>()(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
}

void Project::IndexElements()
{
    elementsByGuid_.clear();
    for (size_t i = 0; i < elements_.size(); ++i)
        elementsByGuid_.emplace(elements_[i].guid, i);
}

std::string Project::DescribeElement(const std::string& guid) const
{
    for (const auto& e : elements_) {
        if (!(e.guid == APIGuidFromString(guid.c_str())))
            continue;
        std::string text = "element " + GuidText(e.guid) + " " + TypeName(e.type) + " part " +
                           std::to_string(e.libInd) + " \"" + PartName(Part(e.libInd)) + "\"";
        for (const auto& p : e.params)
            text += "\n  " + DescribeParameter(p);
        return text;
    }
    return {};
}

GSErrCode Project::ElementGetElemList(API_ElemTypeID typeID, GS::Array<API_Guid>* guids) const
{
    if (guids == nullptr)
        return ErrCode::General;
    guids->Clear();
    for (const auto& e : elements_)
        if (e.type == typeID)
            guids->Push(e.guid);
    return NoError;
}

namespace {
int32_t* LibIndField(API_Element& element, API_ElemTypeID type)
{
    switch (type) {
    case API_WindowID: return &element.window.openingBase.libInd;
    case API_DoorID: return &element.door.openingBase.libInd;
    case API_SkylightID: return &element.skylight.openingBase.libInd;
    case API_ObjectID: return &element.object.libInd;
    case API_LampID: return &element.lamp.libInd;
    default: return nullptr;
    }
}

bool MaskFits(uint64_t mask)
{
    return (mask & ~APIMemoMask_All) == 0;
}
}  // namespace

GSErrCode Project::ElementGet(API_Element* element)
{
    if (element == nullptr)
        return ErrCode::General;
    const PlacedElement* e = Element(element->header.guid);
    if (e == nullptr)
        return ErrCode::BadIndex;
    *element = API_Element {};
    element->header.typeID = e->type;
    element->header.guid = e->guid;
    if (int32_t* field = LibIndField(*element, e->type))
        *field = e->libInd;
    return NoError;
}

GSErrCode Project::ElementGetMemo(const API_Guid* guid, API_ElementMemo* memo, uint64_t mask)
{
    if (guid == nullptr || memo == nullptr)
        return ErrCode::General;
    const PlacedElement* e = Element(*guid);
    if (e == nullptr)
        return ErrCode::BadIndex;
    if (!MaskFits(mask)) {
        log_("element memo refused: mask " + Hex(static_cast<int32_t>(mask >> 32)) +
             Hex(static_cast<int32_t>(mask)).substr(2));
        return ErrCode::General;
    }
    *memo = API_ElementMemo {};
    if ((mask & APIMemoMask_AddPars) != 0 && e->libInd != 0 &&
        (memo->params = ParametersToHandle(e->params)) == nullptr)
        return ErrCode::Memory;
    return NoError;
}

GSErrCode Project::ElementChangeMemo(const API_Guid* guid, uint64_t mask, const API_ElementMemo* memo)
{
    if (guid == nullptr || memo == nullptr)
        return ErrCode::General;
    PlacedElement* e = Element(*guid);
    if (e == nullptr)
        return ErrCode::BadIndex;
    if (!MaskFits(mask))
        return ErrCode::General;
    if ((mask & APIMemoMask_AddPars) != 0 && memo->params != nullptr) {
        if (!Editing(*e))
            return ErrCode::General;
        AssignParametersFromHandle(memo->params, e->params);
        log_("element changed: " + GuidText(e->guid) + ", " + std::to_string(e->params.size()) + " parameters");
    }
    return NoError;
}

GSErrCode Project::ElementChange(API_Element* element, const API_Element*, const API_ElementMemo* memo,
                                 uint64_t memoMask)
{
    if (element == nullptr)
        return ErrCode::General;
    PlacedElement* e = Element(element->header.guid);
    if (e == nullptr)
        return ErrCode::BadIndex;
    if (!e->editable)
        return ErrCode::General;
    if (!Editing(*e))
        return ErrCode::General;
    if (const int32_t* field = LibIndField(*element, e->type); field != nullptr && Part(*field) != nullptr) {
        e->libInd = *field;
        e->partId = Part(*field)->ownUnID;
    }
    if (memo != nullptr && memo->params != nullptr && (memoMask & APIMemoMask_AddPars) != 0 && MaskFits(memoMask))
        AssignParametersFromHandle(memo->params, e->params);
    log_("element changed: " + GuidText(e->guid) + " part " + std::to_string(e->libInd) + ", " +
         std::to_string(e->params.size()) + " parameters");
    return NoError;
}

GSErrCode Project::ElementGetDefaults(API_Element* element, API_ElementMemo* memo)
{
    if (element == nullptr)
        return ErrCode::General;
    const API_ElemTypeID type = element->header.typeID;
    if (type == API_ZombieElemID)
        return ErrCode::General;
    const Defaults& d = defaults_[type];
    *element = API_Element {};
    element->header.typeID = type;
    if (int32_t* field = LibIndField(*element, type))
        *field = d.libInd;
    if (memo != nullptr) {
        *memo = API_ElementMemo {};
        if ((memo->params = ParametersToHandle(d.params)) == nullptr)
            return ErrCode::Memory;
    }
    return NoError;
}

GSErrCode Project::ElementChangeDefaults(API_Element* element, API_ElementMemo* memo)
{
    if (element == nullptr || element->header.typeID == API_ZombieElemID)
        return ErrCode::General;
    const API_ElemTypeID type = element->header.typeID;
    Defaults& d = defaults_[type];
    if (int32_t* field = LibIndField(*element, type))
        d.libInd = *field;
    if (memo != nullptr && memo->params != nullptr)
        d.params = ParametersFromHandle(memo->params);
    log_("defaults of the " + TypeName(type) + " tool: part " + std::to_string(d.libInd) + " \"" +
         PartName(Part(d.libInd)) + "\", " + std::to_string(d.params.size()) + " parameters");
    return NoError;
}

GSErrCode Project::ElementFilter(const API_Guid* guid, uint32_t bits)
{
    const PlacedElement* e = guid != nullptr ? Element(*guid) : nullptr;
    if (e == nullptr)
        return ErrCode::BadIndex;
    return (bits & APIFilt_IsEditable) != 0 && !e->editable ? ErrCode::General : NoError;
}

GSErrCode Project::SelectionGet(API_SelectionInfo* info, GS::Array<API_Neig>* neigs, bool onlyEditable)
{
    if (info == nullptr)
        return ErrCode::General;
    *info = API_SelectionInfo {};
    if (neigs != nullptr)
        neigs->Clear();
    int32_t count = 0;
    int32_t editable = 0;
    for (const auto& guid : selection_) {
        const PlacedElement* e = Element(guid);
        if (e == nullptr)
            continue;
        ++count;
        editable += e->editable ? 1 : 0;
        if (neigs != nullptr && (!onlyEditable || e->editable))
            neigs->Push(API_Neig {guid, e->type, 0});
    }
    info->sel_nElem = count;
    info->sel_nElemEdit = editable;
    if (count == 0)
        return ErrCode::NoSelection;
    info->typeID = API_SelElems;
    return NoError;
}

}  // namespace DevHost
