// The installation engine: the checks, the routes in order, the driver service, the
// post-install steps.
#include "payload/install_engine.h"

#include "payload/check_free_space.h"
#include "payload/check_install_targets.h"
#include "payload/driver_service.h"
#include "payload/install_routes.h"
#include "payload/payload_table.h"
#include "payload/percent_of.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "postinstall/relocate_data_files.h"
#include "postinstall/get_documents_folder.h"
#include "postinstall/program_shortcut.h"
#include "postinstall/settings_defaults.h"
#include "process/process_state.h"
#include "text/path_text.h"
#include "text/show_message.h"
#include "text/text_ids.h"

namespace {

// Any folder of a path buffer joined with any target path of the table.
const size_t kFailedPathSize = 2 * PATH_BUFFER_SIZE + 1;

// A failure: the full path of the file that was to be installed, when one is given, then the
// I/O-error text.
void ReportFailure(HWND owner, const char* path) { ShowMessage(owner, path, IDS_IO_ERROR, MB_ICONERROR); }

// A failed row: on the common route the path of its file in the install folder, then the
// I/O-error text; on the family's route the I/O-error text alone.
void ReportRowFailure(HWND owner, const InstallRoute& route, int row, const char* installFolder) {
    if (!route.common) {
        ReportFailure(owner, nullptr);
        return;
    }
    char path[kFailedPathSize];
    const char* target = PayloadTable[row].targetPath;
    if (!JoinPath(path, sizeof path, installFolder, target)) CopyText(path, sizeof path, target);
    ReportFailure(owner, path);
}

const InstallRoute& FamilyRoute() {
    if (OsVersionSnapshot.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return Win9xRoute;
    return OsVersionSnapshot.dwMajorVersion < 5 ? Nt4Route : Nt5Route;
}

int RowCount(const InstallRoute& route) {
    int rows = 0;
    for (int i = 0; i < route.partCount; ++i) rows += route.parts[i].rows.count;
    return rows;
}

int UsesSystemFolder(const InstallRoute& route) {
    for (int i = 0; i < route.partCount; ++i)
        if (route.parts[i].folder == SYSTEM_FOLDER) return 1;
    return 0;
}

// Installs the rows of `route` in order and stops at the first that fails, after reporting it.
int RunRoute(const InstallDialog& dialog, InstallRun* run, const InstallRoute& route, const char* installFolder,
             const char* systemFolder) {
    int done = 0;
    for (int part = 0; part < route.partCount; ++part) {
        const RoutePart& rows = route.parts[part];
        const char* destination = rows.folder == SYSTEM_FOLDER ? systemFolder : installFolder;
        for (int row = rows.rows.first; row < rows.rows.first + rows.rows.count; ++row) {
            if (!InstallOneFile(run, row, destination, route.replacement)) {
                ReportRowFailure(dialog.owner, route, row, installFolder);
                return 0;
            }
            ++done;
            if (route.common && dialog.showProgress != nullptr)
                dialog.showProgress(dialog.owner, PercentOf(RowCount(route), done));
            // A copy kept for a replacement at restart stays in the staging folder.
            char extracted[PATH_BUFFER_SIZE];
            if (route.replacement != REPLACE_AT_RESTART &&
                JoinPath(extracted, sizeof extracted, run->stagingFolder, PayloadTable[row].tempName))
                platform::DeleteFileA(extracted);
        }
    }
    // Its result is not examined: an update normally finds the service key of the first
    // installation, and the driver file is already scheduled.
    if (route.registersDriver) RegisterDriverService();
    return 1;
}

}  // namespace

int InstallPayloadFiles(const InstallDialog& dialog, const char* installFolder) {
    InstallRun run = {};
    run.tempFileLength = MAX_PATH;
    bool ntFamily = OsVersionSnapshot.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS;
    run.replaceInOneStep = ntFamily ? 1 : 0;
    // GetVersionExA leaves the snapshot zeroed when it fails, and no Windows has major version
    // 0: without the family no driver route can be chosen, so nothing is installed, as when
    // there is no staging folder.
    bool familyKnown = OsVersionSnapshot.dwMajorVersion != 0;
    DWORD length = familyKnown ? platform::GetTempPathA(sizeof run.stagingFolder, run.stagingFolder) : 0;
    if (length == 0 || length >= sizeof run.stagingFolder) {
        ReportFailure(dialog.owner, nullptr);
        return 0;
    }
    const InstallRoute& family = FamilyRoute();
    // Kept whole even past a path buffer, so that a failure names the file in full.
    char systemFolder[2 * PATH_BUFFER_SIZE] = {};
    if (UsesSystemFolder(family)) {
        UINT systemLength = platform::GetSystemDirectoryA(systemFolder, sizeof systemFolder);
        if (systemLength == 0 || systemLength >= sizeof systemFolder) systemFolder[0] = '\0';
    }
    // Every file of the run is checked before the first is replaced: a run that could not
    // finish leaves the installation as it was rather than half updated.
    const InstallRoute* routes[] = {&CommonRoute, &family};
    char failed[kFailedPathSize];
    // The data files move into the documents folder's drive; none move without one.
    char documents[PATH_BUFFER_SIZE] = {};
    GetDocumentsFolder(documents, sizeof documents);
    if (!CheckInstallTargets(routes, 2, run.stagingFolder, installFolder, systemFolder, ntFamily, failed,
                             sizeof failed) ||
        !CheckFreeSpace(routes, 2, run.stagingFolder, installFolder, systemFolder, documents, &ForEachDataFile,
                        failed, sizeof failed)) {
        ReportFailure(dialog.owner, failed);
        return 0;
    }
    if (!RunRoute(dialog, &run, CommonRoute, installFolder, systemFolder)) return 0;
    if (!RunRoute(dialog, &run, family, installFolder, systemFolder)) return 0;
    // The post-install steps end silently at their first failure; the update does not hang on them.
    ApplySettingsDefaults();
    RelocateDataFiles(installFolder);
    RefreshProgramShortcut(installFolder);
    return 1;
}
