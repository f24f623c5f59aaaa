#pragma once
// The current user's registry (HKEY_CURRENT_USER). Win32: the real registry.
// POSIX: one text file in the format of regedit exports, named by the
// environment variable HKCU_FILE, else ${XDG_CONFIG_HOME:-$HOME/.config}/HKEY_CURRENT_USER.reg;
// a missing file is an empty registry.
#include <optional>
#include <string>

#include "Bibliothek/Plattform/uOsIni.h"  // TOsSettingsRefusal
#include "Bibliothek/Textformate/uRegValue.h"

/// Reads a named value (empty name: the key's default value) of the key
/// `keyPath` (backslash-separated, from the root of HKEY_CURRENT_USER, no
/// leading backslash), without creating anything. nullopt when the key does
/// not open or the value is missing. Names are found without regard to case.
/// POSIX: a refused registry file (TOsSettingsRefusal) reads as an empty one.
std::optional<TRegValue> OsRegReadValue(const std::string& keyPath, const std::string& name,
                                        TOsSettingsRefusal* refusal = nullptr);

/// Opens or creates the key path and every missing key above it, and stores a
/// REG_SZ value. POSIX replaces the file atomically and keeps every other key
/// and value. False when it fails.
bool OsRegWriteString(const std::string& keyPath, const std::string& name, const std::string& value,
                      TOsSettingsRefusal* refusal = nullptr);

/// POSIX: the registry file in use. Win32: empty.
std::string OsRegistryFilePath();
