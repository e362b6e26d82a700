#include "app/user_agent.h"

#include "build_config.h"

std::string withProgramAgent(std::string_view browserAgent) {
    std::string agent(browserAgent);
    if (!agent.empty()) agent += ' ';
    return agent + kUserAgentName + "/" + build_config::kVersion;
}
