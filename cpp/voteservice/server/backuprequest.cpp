#include "voteservice/server/backuprequest.h"

#include <CLI/CLI.hpp>

namespace quorix::service {

void BackupRequest::addOptionsTo(CLI::App& command)
{
    command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    command.add_option("--data", dataDir, "the data folder whose votes.db is copied (needed)")
        ->type_name("DIR")
        ->required();
    command
        .add_option("--out", outFile,
                    "write the copy to FILE, replacing it only once the whole copy passed "
                    "PRAGMA integrity_check (needed)")
        ->type_name("FILE")
        ->required();
}

} // namespace quorix::service
