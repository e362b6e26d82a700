#pragma once

#include <optional>
#include <string>

#include "tasks/task_context.h"

// Removing route books from the navigator. The page's argument lists positions in the route
// book list, "2,0", each applied to the list as it is after the removals before it.

// Removes each listed route book from the navigator and from the list; always ends with code 0.
void deleteWorker(TaskContext& context, std::string text);
