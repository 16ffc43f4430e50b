// The destination folder, folder trees, and member paths that cannot leave the destination.
#pragma once

enum class DestinationOutcome { accepted, retry };
enum class TargetOutcome { file, folderOnly, skipped, failed };

// Normalises sfxSettings.destinationPath against archiveFolder (the archive's folder,
// ending in a backslash). accepted: the destination is final and ends in a backslash.
// retry: the destination has been replaced by archiveFolder and the destination loop
// starts again. A destination that would not fit 259 bytes is a retry as well.
DestinationOutcome normalizeDestination(const char* archiveFolder);

// Creates every missing folder of `path` (a drive path "X:\..." or a network path
// "\\server\share\..."); false when the path has no such root or a folder cannot be made.
bool createFolderTree(const char* path);

// Cleans a stored member path in place and returns where the relative path begins (inside
// `path`): separators are unified to '\', leading ones dropped, every "..\" removed, and
// every component that Windows would resolve to a parent or the same folder (only dots
// and blanks) removed as well.
char* cleanMemberPath(char* path);

// Turns the relative path (trimmed in place) into target (kPathBytes) below destination.
// skipped: string 6 was shown; failed: string 7 was shown and the run is stopped.
TargetOutcome buildMemberTarget(const char* destination, char* relativePath, char* target);
