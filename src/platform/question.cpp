#include "platform/question.h"

#include <utility>

namespace platform {
namespace {
QuestionHandler& handler() {
    static QuestionHandler installed;
    return installed;
}
}  // namespace

void setQuestionHandler(QuestionHandler replacement) {
    handler() = std::move(replacement);
}

bool askYesNo(const std::string& text, const std::string& title) {
    // A copy, so that a handler may replace itself while it asks.
    QuestionHandler ask = handler();
    return ask ? ask(text, title) : false;
}

}  // namespace platform
