// The settings dialog: the API key, the download folder and the embedded-library choice.
#pragma once

// Runs the settings dialog modally.
void OpenUserSettings();
// The settings dialog's callback.
short Dialog_Handler(short message, short dialogId, short item, long long userData, long long msgData);
// Makes the dialog the one that the key's users below open when the stored key is malformed.
void RegisterSettingsDialog();
