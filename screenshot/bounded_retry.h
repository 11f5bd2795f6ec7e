#pragma once

// Tries up to `attempts` times and pauses after every failed attempt, the last one included;
// the first success ends the attempts.
template <typename Attempt, typename Pause>
bool retryWithPause(int attempts, Attempt attempt, Pause pause)
{
    for (int i = 0; i < attempts; ++i) {
        if (attempt()) {
            return true;
        }
        pause();
    }
    return false;
}
