// Pieces of the page launchers that are worth checking on their own.
#pragma once

#include "ACAPI.hpp"

#include <string>

// The property-cloud page's list of the clouds already attached to a part: one entry per
// row of the "KDPC_HNDL" array (column 0 the cloud id, column 1 the linked flag), with "%26"
// for each "&" so that the list survives inside the auto-logon address's redirect parameter.
// Only cells inside the array's dimensions and its handle are read.
std::string CloudListText(const API_AddParType& cloudArray);
