#include "app/maintenance_win.h"

#include "app/command_line.h"
#include "framework/app_win.h"
#include "settings/options_file_win.h"
#include "settings/registry_store_win.h"
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
