#pragma once

#include "store/Database.h"

#include <QString>

namespace intake {

struct ImportRequest {
    QString folder;
    bool dryRun = false;
    bool terminal = false;  // progress as a bar redrawn in place
};

// Loads the tables' files found in the folder into the database, all or nothing: every row is checked
// first (form, keys, references to the files or the database), then the whole load is written in one
// transaction, each row replacing the one of the same key. Problems go to standard error as
// "FILE:LINE: column: reason". Returns the exit status: 0 loaded (or, dry, would load), 1 refused or failed.
int importFolder(const DatabaseSettings& settings, const ImportRequest& request);

// Writes every table to <folder>/<TABLE>.csv in the form the import reads, each file whole or not at all.
int exportFolder(const DatabaseSettings& settings, const QString& folder);

}  // namespace intake
