#pragma once
// The export of the switch set: WRITEINI and WRITEREG write the registered
// switches with their defaults into the INI file or the registry key, where
// the sources read them (sofProgramSwitch::WriteIni and WriteReg).
#include <string>

#include "Bibliothek/Schalter/uProgramSwitch.h"

/// Where the export stores the switches: the INI file and the registry, each
/// operation as its Os* function of the same name (uOsIni.h, uOsRegistry.h)
/// describes it. Abstract so that tests can make any write fail; the
/// platform's own is RealSettingsStore().
class TSettingsStore {
public:
  virtual ~TSettingsStore() = default;
  virtual bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) = 0;
  virtual void IniFlush(const std::string& file) = 0;
  virtual bool RegWriteString(const std::string& keyPath, const std::string& name, const std::string& value) = 0;
  /// Whether the entry or value holds a value already (OsIniValue, OsRegReadValue).
  virtual bool IniHasValue(const std::string& file, const std::string& section, const std::string& key);
  virtual bool RegHasValue(const std::string& keyPath, const std::string& name);
};
TSettingsStore& RealSettingsStore();
