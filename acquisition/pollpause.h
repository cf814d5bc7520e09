#pragma once

// Lets the event loop run for `milliseconds`: every event, timer and click is
// handled as it arrives, and the thread sleeps while none is pending. The time
// is measured on the monotonic clock.
void pauseWithEvents(int milliseconds);
