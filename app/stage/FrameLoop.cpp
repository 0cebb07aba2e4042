#include "app/stage/FrameLoop.h"

#include <chrono>
#include <thread>

#include "platform/Window.h"

double SteadyClockSeconds() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void CountFrame(FpsCounter& counter, const Clock& clock) {
    counter.framesCounted += 1;
    if (clock() > counter.nextFpsTime) {
        counter.nextFpsTime = clock() + fpsInterval;
        counter.fpsText = "FPS = " + std::to_string(counter.framesCounted);
        counter.framesCounted = 0;
    }
}

void RunUntilEscape(const std::function<void()>& drawFrame) {
    do {
        drawFrame();
        std::this_thread::sleep_for(std::chrono::milliseconds(frameSleepMs));
        PresentWindow();
    } while (!IsEscapeDown());
}
