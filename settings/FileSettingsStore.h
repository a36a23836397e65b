#pragma once
// Settings kept in a per-user file in the Windows .reg text syntax, so that the
// values keep their types and the file can be merged into a registry as is:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Norvane Semiconductor Corporation\ZENT2_I2C_Utility\Settings]
//   "Demo Mode"=dword:00000001
//   "Log Settings"=hex:01,01,...   (long lines go on after a trailing
//     01,01,...                    backslash, indented by two spaces)
//   "HMU0_IMON0_SenseResistor"="0.005"
//
// The file is written with CRLF line ends and UTF-8 (plain ASCII for every
// value this program writes). Values keep their order: the order of the file,
// new names at the end.
//
// Every Set (or SetValues, for several values at once) takes the file as it
// is now, changes its values and replaces the file atomically (temporary file
// in the same folder, flushed, renamed over the old one), so two instances
// only overwrite each other's values of the same name, as with the registry,
// and a save that is killed leaves the old file whole. The parsed file is
// kept and parsed again only when the file changed (another instance wrote
// it), so reading many values costs one parse. Lines may end with CR LF, LF
// or CR. A temporary file left by a killed save is removed when the store is
// opened.
//
// A damaged file gives nothing for what cannot be parsed; what parses is kept.
// Lines that would be lost by rewriting (garbage, values that do not parse,
// other keys, comments) are not carried into the new file: before the first
// rewrite that drops them, the file as found is kept next to it as
// "Settings.reg.damaged" (replacing an older such copy), so nothing the user
// had is lost silently and the live file does not carry garbage forever.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "settings/SettingsStore.h"

// $XDG_CONFIG_HOME/Norvane Semiconductor Corporation/ZENT2_I2C_Utility/Settings.reg,
// with $HOME/.config when XDG_CONFIG_HOME is unset, empty or not absolute.
// Empty when neither gives an absolute folder.
std::filesystem::path SettingsFilePath(const char* xdgConfigHome, const char* home);
// The same from this process's environment (and the password database for a
// missing HOME).
std::filesystem::path DefaultSettingsFilePath();

// What the file says about the settings key.
struct RegFileContents {
    SettingList values;
    std::vector<std::string> dropped;  // lines a rewrite would not keep
};

RegFileContents ParseRegFile(std::string_view fileBytes);
std::string FormatRegFile(const SettingList& values);
// One value line (with its continuation lines), CRLF-terminated.
std::string FormatRegValue(std::string_view name, const SettingValue& value);

class CFileSettingsStore : public CSettingsStore {
public:
    // Creates the folders of the file when they are missing; the store is open
    // when its folder exists afterwards.
    explicit CFileSettingsStore(std::filesystem::path file);

    bool IsOpen() const override { return m_open; }
    std::optional<SettingValue> Get(std::string_view name) const override;
    bool Set(std::string_view name, const SettingValue& value) override;
    bool SetValues(const SettingList& values) override;
    std::vector<std::string> Names() const override;

    const std::filesystem::path& Path() const { return m_file; }
    std::filesystem::path DamagedCopyPath() const;

private:
    // Tells one version of the file from another.
    struct FileStamp {
        int type = -1;  // std::filesystem::file_type, -1 when unknown
        uint64_t device = 0;
        uint64_t inode = 0;
        uint64_t size = 0;
        int64_t modified = 0;
        int64_t changed = 0;
        bool operator==(const FileStamp&) const = default;
    };
    struct Snapshot {
        FileStamp stamp;
        RegFileContents contents;
        std::string bytes;  // the file as read, only when some of it did not parse
    };

    FileStamp Stamp() const;
    // False when the file exists but cannot be read.
    bool Load(std::string& bytes) const;
    // The file as it is now; null when it cannot be read.
    const Snapshot* Current() const;

    std::filesystem::path m_file;
    bool m_open = false;
    mutable std::optional<Snapshot> m_snapshot;
};

// Replaces `target` with `bytes` in one step: temporary file in the same folder,
// flushed to disk, renamed over the old file. Creates missing folders and writes
// through a symbolic link to the file it names. False on any failure, leaving
// the old file as it was and no temporary file behind.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);
// Removes the temporary files WriteFileAtomically left beside `target` when
// its process was killed (never one of a process that still runs); returns
// how many.
int RemoveLeftoverTemporaryFiles(const std::filesystem::path& target);
