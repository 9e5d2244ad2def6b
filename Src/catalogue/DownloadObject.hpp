// Installing what a catalogue page handed over: the download behind the progress page, the
// copy into the install folder, and making the new library part usable at once.
#pragma once

// 0 installed (or a project file handed to a new host instance), -1 nothing downloaded or no
// install folder, -2 the copy into the install folder failed. Blanks in `url` become "_".
int DownloadObject(char* url, char* fileName);
