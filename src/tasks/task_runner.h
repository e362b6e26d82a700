#pragma once

// The slot of the one worker thread. (Filled in with the task runner.)
class TaskThread {};
