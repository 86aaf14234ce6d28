// Progress pushed to every open browser: the events of the running
// operation, numbered, kept for a short while so that a stream that connects
// late or reconnects still sees the end of the operation.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "host/core/transfer.h"

namespace tavhost::serve {

class EventHub {
public:
    // An event "name" with its JSON data; wakes every waiting stream.
    void publish(const std::string& name, const std::string& json);
    // The events after `seen` as Server-Sent-Event text (empty after `ms`
    // milliseconds without one); `seen` moves on.
    std::string wait_after(unsigned long& seen, int ms);
    unsigned long last() const;
    void close();
    bool closed() const;

private:
    struct Event {
        unsigned long seq;
        std::string text;
    };
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Event> events_;
    unsigned long seq_ = 0;
    bool closed_ = false;
};

// The progress of one operation ("ext-read", ...) as events on the hub.
class HubProgress : public core::ProgressView {
public:
    HubProgress(EventHub& hub, std::string op) : hub_(hub), op_(std::move(op)) {}
    void rate(unsigned percent) override;
    void end(bool completed) override;

private:
    EventHub& hub_;
    std::string op_;
    unsigned last_ = 1000;
};

}  // namespace tavhost::serve
