#pragma once
// An event that is closing before a stop or an upgrade: nobody new is let in, a race being run
// is finished, and the server then ends in order. What it has seen of the race so far.

struct Draining {
    bool active = false;
    // The race session being seen out (-1: none yet), and whether it has started.
    int raceSession = -1;
    bool raceStarted = false;
    // The race is over or nobody is left: the main loop ends.
    bool over = false;
};
