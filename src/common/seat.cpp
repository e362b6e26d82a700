#include "common/seat.h"

#include <utility>

#include "platform/files.h"

platform::FileDialogAnswer Seat::askForFile(const platform::FileDialogRequest& request) {
    platform::FileDialogAnswer answer = chooseFile(request);
    if (request.kind != platform::FileDialogRequest::Kind::Save ||
        answer.outcome != platform::FileDialogAnswer::Outcome::Chosen)
        return answer;
    std::string completed = platform::withDefaultExtension(answer.path, request.extension);
    if (completed == answer.path) return answer;
    if (platform::fileExists(completed) &&
        !ask(platform::replaceQuestion(completed), request.title))
        return {};
    answer.path = std::move(completed);
    return answer;
}
