#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/seat.h"
#include "tasks/task_runner.h"

// Route book packages over HTTP. Both transfers post their own failures as task status codes
// and answer only true or false; `control` (when given) pauses and stops them.

// A transfer that moves fewer bytes than this per second over a whole stretch of the window fails
// as a broken one does: a server that trickles must not hold a task for ever.
inline constexpr int kMinTransferBytesPerSecond = 1024;
inline constexpr int kMinTransferRateWindowMs = 60000;

// The largest package either way: 20 MB exactly passes, one byte more fails.
inline constexpr int64_t kMaxPackageBytes = 20971520;

// Whether a download may read a package on the PC: "file://" followed by a local path as its
// URL (taken as it is, without any decoding), so that such a package goes through the same
// checks as a download. Only the terminal's install asks for it; a page never reaches local
// files.
enum class LocalPackages { Refused, Allowed };

// Downloads `url` into the file `path`. Posts 2 for a missing argument, 4 when the transfer or
// the file fails (an HTTP error status, a stall or a trickle below the minimum rate included), 7
// as soon as the body grows past the limit;
// the file is deleted in each case. A stop request ends the transfer early and answers true
// with the part received: the caller looks at the stop flag before using the file.
bool downloadFile(Seat& seat, const std::string& url, const std::string& path,
                  const TaskControl* control, LocalPackages local = LocalPackages::Refused);

// Posts the whole file `path` as the raw body to the route book server under `objectName`
// (path and query). True when the reply carries "<rbid>" with a status below 400. Posts 2 for a
// missing argument or a file that cannot be read or is empty, 8 for a file over the limit, 5 when
// the server did not confirm (an error status, a stall or a trickle included); a stop request ends
// it with false and nothing posted.
bool uploadFile(Seat& seat, const std::string& path, const std::string& objectName,
                const TaskControl* control);

// Query-value encoding: ASCII letters and digits stay, white space becomes "+", every other
// byte "%XX" (uppercase hexadecimal).
std::string urlEncode(std::string_view text);

// The route book server (host or host:port): the build-time setting unless replaced here.
std::string routeBookServer();
void setRouteBookServer(std::optional<std::string> hostPort);
// The time-outs of both transfers, for tests (defaults: 60 s to connect, 30 s of silence).
void setTransferTimeouts(int connectMs, int stallMs);
// The minimum rate of both transfers, for tests (0 bytes per second: none).
void setTransferMinimumRate(int bytesPerSecond, int windowMs);
