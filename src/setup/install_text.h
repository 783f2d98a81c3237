#pragma once

// What the installer and the uninstaller write, as text: the paths they name, the uninstall batch
// file and the Program Manager commands, plus the checks on a destination's name. No platform
// calls: the Win32 side supplies the folders and does the writing.

#include <string>
#include <string_view>
#include <vector>

namespace setup {

// True when a path must be quoted to stay one argument, both for the command interpreter
// (separators, "&", "^", parentheses, "%"...) and inside a Program Manager command (commas,
// parentheses, brackets).
[[nodiscard]] bool NeedsQuotes(std::string_view path);

// directory + "\" + name, the whole in double quotes when either part needs them. A trailing
// backslash is dropped (inside the quotes too), so an empty name gives the directory itself.
[[nodiscard]] std::string JoinPath(std::string_view directory, std::string_view name);

// A file the installation copies from the program's folder to the destination.
struct ProgramFile {
    std::string name;
    bool required;
};

// In copying order. "readme.txt" decides whether the README item is made.
[[nodiscard]] std::vector<ProgramFile> ProgramFiles(std::string_view product);

inline constexpr char kReadme[] = "readme.txt";
inline constexpr char kBatchFileName[] = "UnVidra.bat";

struct InstallPlace {
    std::string product;     // the product name
    std::string destination; // absolute, no trailing backslash
    std::string batchFile;   // full path of the uninstall batch file
    bool nt = true;          // the platform identifies itself as Windows NT
};

// The uninstall batch file, every line ended by CR LF. It runs "-uninstall", stops when that
// declines, and deletes exactly the files the installation can have put there (and the help
// viewer's index), the folder when it is empty, and itself.
[[nodiscard]] std::string UninstallBatchFile(const InstallPlace& place);

// Program Manager commands that make the group and its items; a repeated installation replaces
// each item in place.
[[nodiscard]] std::vector<std::string> ProgmanInstallCommands(const InstallPlace& place,
                                                              bool withReadme);
// The commands that remove the items and the group.
[[nodiscard]] std::vector<std::string> ProgmanUninstallCommands(std::string_view product);

// Folders that must never become the destination: the program's files (and the uninstaller's
// deletions) would land among the system's or the root of a drive.
enum class DestinationRefusal { None, DriveRoot, WindowsFolder, SystemFolder };

// `path` absolute and without a trailing backslash (except a bare root), as are the folders.
[[nodiscard]] DestinationRefusal RefuseDestination(std::string_view path,
                                                   std::string_view windowsFolder,
                                                   std::string_view systemFolder);

// "C:\", "C:", "\\server\share" and the like.
[[nodiscard]] bool IsRootPath(std::string_view path);

// Both names for one folder, ignoring letter case and trailing backslashes. Both must be
// absolute long paths already.
[[nodiscard]] bool SameFolder(std::string_view a, std::string_view b);

// The default destination: the root of the Windows folder's drive followed by the product name.
[[nodiscard]] std::string DefaultDestination(std::string_view windowsFolder,
                                             std::string_view product);

// Our screen codec as a driver of the system: the value under the machine's list of drivers that
// names its library, and the library's name in the system folders.
inline constexpr char kCodecValue[] = "vidc.zmbv";
inline constexpr char kCodecLibrary[] = "VidZmbv.dll";

// A registered library value (a bare name or a path) that names our codec's library.
[[nodiscard]] bool NamesOurCodec(std::string_view value);

// How the codec's installation went, for all architectures together: the first that applies of
// needs administrator rights, failed, another program's codec kept (for one or all), installed.
enum class CodecOutcome { Installed, AnotherProgramsCodec, NeedsAdministrator, Failed };
[[nodiscard]] CodecOutcome CombineCodecOutcomes(const std::vector<CodecOutcome>& each);

// What the user is told about the codec; `program` the installed program's full path, for the
// one command that installs it with the rights it needs.
[[nodiscard]] std::string CodecOutcomeText(CodecOutcome outcome, std::string_view program);

// The installer's last word: where the program went, and the codec.
[[nodiscard]] std::string InstallSummary(std::string_view product, std::string_view destination,
                                         CodecOutcome codec);

// Drops trailing backslashes and slashes, but keeps the one of a drive's root ("C:\").
[[nodiscard]] std::string WithoutTrailingSeparator(std::string_view path);

} // namespace setup
