#include "app/maintenance_win.h"

#include "app/command_line.h"
#include "avi/avi_repair.h"
#include "avi/win_file_win.h"
#include "engine/file_naming.h"
#include "framework/app_win.h"
#include "framework/text_format.h"
#include "resources/resource_ids.h"
#include "settings/options_file_win.h"
#include "settings/registry_store_win.h"
#include "setup/codec_setup_win.h"
#include "setup/installer_win.h"
#include "setup/uninstaller_win.h"

namespace {

// What start-up knows when a task runs: the resource library and product name are loaded, the
// options hold their defaults, nothing has been read from the registry.
struct MaintenanceContext {
    const std::vector<std::string>& args;
    std::string programDirectory;
    std::string productName;
    RecordingOptions& options;

    [[nodiscard]] std::string OptionsFile() const {
        return OptionsFilePath(programDirectory, productName);
    }
    [[nodiscard]] std::string SettingsKey() const { return SettingsKeyPath(productName); }
};

// -repair FILE: 0 when the movie was made whole or was whole already, 1 when there is no such
// file, it is not a movie this can read, or it could not be written.
int RepairMovieFile(const MaintenanceContext& c) {
    if (c.args.size() < 2)
        return 1;
    DWORD error = 0;
    const std::unique_ptr<avi::WinFile> file = avi::WinFile::Open(c.args[1], error);
    if (!file)
        return 1;
    switch (avi::Repair(*file)) {
    case avi::RepairResult::Repaired:
    case avi::RepairResult::NothingToDo:
        return 0;
    case avi::RepairResult::NotReadable:
    case avi::RepairResult::WriteFailed:
        break;
    }
    return 1;
}

struct MaintenanceTask {
    MaintenanceSwitch which;
    int (*run)(const MaintenanceContext&);
};

// The options file beside the installer is imported only into a confirmed installation.
int InstallAndImport(const MaintenanceContext& c) {
    if (Install(c.programDirectory, c.productName) != InstallResult::Installed)
        return 1;
    return ImportOptionsFile(c.OptionsFile(), c.SettingsKey(), c.options) == ImportResult::Failed
               ? 1
               : 0;
}

// One line per switch.
constexpr MaintenanceTask kTasks[] = {
    {MaintenanceSwitch::Install, InstallAndImport},
    {MaintenanceSwitch::InstallCodec,
     [](const MaintenanceContext& c) {
         // The copy started through "runas" says so, so that it never asks again.
         const bool elevated = c.args.size() > 1 && c.args[1] == "elevated";
         return RunInstallCodec(c.programDirectory, c.productName, elevated);
     }},
    {MaintenanceSwitch::Uninstall,
     [](const MaintenanceContext& c) { return RunUninstall(c.productName); }},
    {MaintenanceSwitch::DumpOptions,
     [](const MaintenanceContext& c) {
         return DumpOptionsToFile(c.OptionsFile(), c.SettingsKey(), c.options);
     }},
    {MaintenanceSwitch::ReadOptions,
     [](const MaintenanceContext& c) {
         return ReadOptionsFromFile(c.OptionsFile(), c.SettingsKey(), c.options);
     }},
    {MaintenanceSwitch::Repair, RepairMovieFile},
};

} // namespace

std::optional<int> ServeMaintenanceSwitch(const std::vector<std::string>& args,
                                          const std::string& productName,
                                          RecordingOptions& options) {
    const MaintenanceSwitch which = FindMaintenanceSwitch(args);
    for (const MaintenanceTask& task : kTasks)
        if (task.which == which)
            return task.run({args, Application::ProgramDirectory(), productName, options});
    return std::nullopt;
}

void OfferRepairOfCutOffTake(HWND owner, const std::string& fileName) {
    if (fileName.empty())
        return;
    const std::string name = EnsureAviExtension(fileName);
    // Opened for writing, so a take another copy is recording right now (which shares it for
    // reading only) is never taken for a cut-off one.
    DWORD error = 0;
    const std::unique_ptr<avi::WinFile> file = avi::WinFile::Open(name, error);
    if (!file || avi::CheckRepair(*file) != avi::RepairResult::Repaired)
        return;
    const std::string title = App().Name();
    const std::string question = FormatText(App().LoadString(IDS_OFFER_REPAIR), {name});
    if (::MessageBoxA(owner, question.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    const avi::RepairResult result = avi::Repair(*file);
    if (result != avi::RepairResult::Repaired && result != avi::RepairResult::NothingToDo) {
        const std::string text = FormatText(App().LoadString(IDS_REPAIR_FAILED), {name});
        ::MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
    }
}
