#include "voteservice/sqlite/votedatafolder.h"

#include "voteservice/sqlite/datafolderlock.h"
#include "voteservice/sqlite/votedatabaseschema.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace quorix::service {

namespace {

std::string octal(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

std::string withoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

// Creates the folder (its parents as the umask says, the folder itself 0700). A folder that
// already exists is kept as it is, with a warning when others may enter it.
bool preparePrivateFolder(const std::string& folder, VoteDataFolder& out)
{
    struct stat info = {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            out.error = "the data folder " + folder + " is not a folder";
            return false;
        }
        if ((info.st_mode & 077) != 0)
            out.warnings.push_back("data folder " + folder + " is readable by others (mode " +
                                   octal(info.st_mode) + "); consider chmod 700 " + folder);
        return true;
    }
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(withoutTrailingSlashes(folder)).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ec);
    if (ec || (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)) {
        out.error =
            "cannot create the data folder " + folder + ": " + (ec ? ec.message() : std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

// Messages name the folder as given.
VoteDataFolder VoteDataFolder::open(const std::string& folder)
{
    VoteDataFolder out;
    out.databasePath = (std::filesystem::path(folder) / "votes.db").string();
    if (!preparePrivateFolder(folder, out))
        return out;
    auto lock = DataFolderLock::acquire(folder, out.error);
    if (!lock)
        return out;
    try {
        out.storage = std::make_unique<SqliteVoteStorage>(out.databasePath);
        out.storage->keepFolderLock(std::move(lock));
        if (!out.storage->migrationCopy().empty())
            out.warnings.push_back(out.databasePath +
                                   " had an older schema: a copy from before its migration to "
                                   "version " +
                                   std::to_string(VoteDatabaseSchema::kVersion) + " is kept as " +
                                   out.storage->migrationCopy());
    } catch (const SqliteVoteStorage::Error& e) {
        out.error = e.what();
    }
    return out;
}

} // namespace quorix::service
