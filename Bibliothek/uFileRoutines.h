#pragma once
// Creating a directory path step by step, shared by the export of the switch set.
#include <string>

/// Message of a directory that cannot be created; %s is the directory at that
/// step, trailing separator included. Has no English wording.
inline constexpr char SPathCannotBeCreated[] = "Der Pfad %s kann nicht angelegt werden!";

/// Makes sure that every directory along `path` exists, creating the missing
/// ones from the outermost inward; directories that exist are left alone.
/// "\" and "/" both separate names, and runs of them count as one. Forms:
///   c:\log\archive   from the drive's root (tests c:\log\ , then c:\log\archive\ )
///   \log\x, /log/x   from the root of the current drive (POSIX: the root)
///   \\server\share\x below the share (server and share are never created)
///   log\x            relative to the current directory
/// Every directory tested or created ends with a separator. Throws EFailure
/// with SPathCannotBeCreated when one cannot be created; the directories made
/// before that step stay. An empty path does nothing.
void ForceDirectoryPath(const std::string& path);

void StartupFileRoutines();
void ShutdownFileRoutines();
