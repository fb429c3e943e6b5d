// The application's jobs sequence: ordered, owning. A job's position is its row
// in the main window and the index every job command uses.
#pragma once

#include <memory>
#include <vector>

class BackupJob;

using JobList = std::vector<std::unique_ptr<BackupJob>>;
