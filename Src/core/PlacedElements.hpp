// The placed elements that the object update and the property-cloud update look at.
#pragma once

#include "ACAPI.hpp"

#include <optional>

// The selected editable elements (empty when nothing is selected); none when the host cannot
// tell the selection.
std::optional<GS::Array<API_Guid>> SelectedElements();

// Every placed object, lamp, window, door and skylight, in that order of types.
GS::Array<API_Guid> PlacedKordelaElements();
