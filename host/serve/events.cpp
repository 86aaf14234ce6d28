#include "host/serve/events.h"

#include <chrono>

namespace tavhost::serve {

namespace {
constexpr std::size_t kKept = 64;
}

void EventHub::publish(const std::string& name, const std::string& json) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++seq_;
        events_.push_back({seq_, "id: " + std::to_string(seq_) + "\nevent: " + name + "\ndata: " + json + "\n\n"});
        if (events_.size() > kKept) events_.pop_front();
    }
    changed_.notify_all();
}

std::string EventHub::wait_after(unsigned long& seen, int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return closed_ || seq_ > seen; });
    std::string text;
    for (const Event& e : events_)
        if (e.seq > seen) text += e.text;
    seen = seq_;
    return text;
}

unsigned long EventHub::last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seq_;
}

void EventHub::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool EventHub::closed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

void HubProgress::rate(unsigned percent) {
    if (percent == last_) return;
    last_ = percent;
    hub_.publish("progress", "{\"op\":\"" + op_ + "\",\"percent\":" + std::to_string(percent) + "}");
}

void HubProgress::end(bool completed) {
    if (completed) rate(100);
}

}  // namespace tavhost::serve
