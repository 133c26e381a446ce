// The words of a Windows error number, for the one-line messages of the host tools.
#include <string>

#include "emulator/machine/host.h"

namespace platform::host {
namespace {

const struct {
    DWORD error;
    const char* words;
} kErrorWords[] = {
    {ERROR_FILE_NOT_FOUND, "no such file"},
    {ERROR_PATH_NOT_FOUND, "no such folder"},
    {ERROR_ACCESS_DENIED, "access denied"},
    {ERROR_INVALID_HANDLE, "not an open handle"},
    {ERROR_NOT_ENOUGH_MEMORY, "not enough memory"},
    {ERROR_SHARING_VIOLATION, "another program has it open"},
    {ERROR_HANDLE_DISK_FULL, "the disk is full"},
    {ERROR_FILE_EXISTS, "it exists already"},
    {ERROR_INVALID_PARAMETER, "a parameter is wrong"},
    {ERROR_CALL_NOT_IMPLEMENTED, "this Windows does not do it"},
    {ERROR_DISK_FULL, "the disk is full"},
    {ERROR_DIR_NOT_EMPTY, "the folder is not empty"},
    {ERROR_BAD_PATHNAME, "not a path"},
    {ERROR_ALREADY_EXISTS, "it exists already"},
    {ERROR_FILENAME_EXCED_RANGE, "the path is too long"},
    {ERROR_BADDB, "the registry cannot be read"},
    {ERROR_CANTWRITE, "the registry cannot be written"},
    {ERROR_NOT_FOUND, "not found"},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "the program has no such resource data"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "the program has no resource of that type"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "the program has no resource of that name"},
    {ERROR_RESOURCE_LANG_NOT_FOUND, "the program has no resource in that language"},
};

}  // namespace

std::string ErrorText(DWORD error, const char* notFound) {
    const char* words = nullptr;
    for (const auto& e : kErrorWords)
        if (e.error == error) words = e.words;
    if (error == ERROR_FILE_NOT_FOUND && notFound != nullptr) words = notFound;
    std::string number = "error " + std::to_string(error);
    return words != nullptr ? std::string(words) + " (" + number + ")" : number;
}

}  // namespace platform::host
