// Names derived from the running executable's path. No Windows header.
#pragma once

#include <string>
#include <string_view>

// The instance mutex name: the executable's directory (the path without its
// last backslash and what follows) with every backslash, slash, colon and full
// stop replaced by "_". C:\Games\Client\Quillmoor.exe gives C__Games_Client.
// A path with no backslash is taken whole.
std::wstring InstanceMutexName(std::wstring_view modulePath);

// The name of the event a copy holds while it updates (from before its check
// until its asset server runs, or until its restarted build holds the event
// in its place): the instance mutex name and ".updating". An instance mutex
// name holds no full stop, so the two never meet.
std::wstring UpdateMarkerName(std::wstring_view modulePath);

// The last component of the path: what follows its last backslash (the whole
// text when there is none).
std::wstring ExecutableFileName(std::wstring_view modulePath);
