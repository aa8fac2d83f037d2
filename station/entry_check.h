#pragma once
#include <string>

#include "station/file_entry.h"

// Checks the entries a job would send before it starts: of the first min(nFileCount, 5) slots,
// those selected (cSelected == 1). Refuses an identifier outside 0..255, two identifiers with
// the same low 8 bits (the board stores each file under them, so one would replace the other),
// and a name that is empty or does not name a file inside the image folder (absolute, a ".."
// component, only "." components). Refuses too when nothing is selected.
// On refusal returns false and sets strLogLine to one UTF-8 line per finding, each starting with
// "->" and naming the slot (0-4), the name and the identifier; else clears it.
bool CheckSelectedEntries(const FileEntry* pFiles, int nFileCount, std::string& strLogLine);
