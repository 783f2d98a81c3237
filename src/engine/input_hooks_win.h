#pragma once

// The presenter's mouse presses and key combinations, for the frames to show. Low-level hooks on
// a thread of their own, with its own message loop, so the user's input never waits on us: each
// hook call notes the event with its moment and returns; the thread names keys and leaves out
// what must not be shown (keys typed into a password field, keys while paused, our own hot
// keys). Nothing is kept beyond the last moments, and nothing after the recording.

#include "engine/input_overlay.h"
#include "engine/recording_options.h"

#include <atomic>
#include <cstdint>
#include <future>
#include <mutex>
#include <thread>
#include <vector>
#include <windows.h>

class InputHooks {
public:
    // Reads what to show, the region and the hot keys from `options` as the recording begins.
    // Hooks the platform refuses leave the frames without that input; the recording goes on.
    InputHooks(const RecordingOptions& options, const std::atomic<int32_t>& recordState);
    ~InputHooks();
    InputHooks(const InputHooks&) = delete;
    InputHooks& operator=(const InputHooks&) = delete;

    // What a frame taken at `ms` (timeGetTime's clock) shows.
    [[nodiscard]] overlay::Scene At(uint32_t ms);

private:
    static LRESULT CALLBACK OnMouse(int code, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK OnKey(int code, WPARAM wp, LPARAM lp);
    void Run(std::promise<void>& ready);
    void NoteKey(uint32_t vk, bool down, uint32_t ms);
    [[nodiscard]] bool Paused() const noexcept;
    [[nodiscard]] bool IsOwnHotKey(uint32_t vk, uint32_t modifiers) const noexcept;

    const RecordingOptions& options_;
    const std::atomic<int32_t>& recordState_;
    const bool clicks_;
    const int32_t keysLevel_;
    std::vector<HotKeyBinding> hotKeys_;

    std::mutex mutex_; // the timeline, between the hooks' thread and the grabber's
    overlay::Timeline timeline_;

    // The hooks' thread only.
    std::vector<bool> keyDown_ = std::vector<bool>(256, false);

    std::thread thread_;
    DWORD threadId_ = 0;
};
