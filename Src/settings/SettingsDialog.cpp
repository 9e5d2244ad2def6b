#include "APIKey.hpp"

#include "Foundation.hpp"

void OpenUserSettings()
{
    NSLog("settings dialog: not available in this build");
}
