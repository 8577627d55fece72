// Windows has no child processes in the POSIX sense; the cases that need them are left out of
// the Windows build. This header only lets the shared includes be read.
#pragma once
