// The component side of the line protocol: one exchange decoding whatever
// the line brings back. The first byte picks raw bytes (noise, cut and
// garbled frames, parity marks) or replies built from the input around the
// actual request (late answers, wrong stations, echoes, bad CRC or ETX).
#include <deque>
#include <vector>

#include "fuzz/fuzz_common.h"
#include "wynapi/link.h"

namespace {

class ScriptedTransport : public wyn::Transport {
public:
    ScriptedTransport(const uint8_t* data, size_t size, bool structured, bool parity, size_t piece)
        : data_(data), size_(size), structured_(structured), parity_(parity), piece_(piece) {}

    short send(const uint8_t* bytes, size_t n) override {
        tavwire::Frame rq;
        if (tavwire::decode(bytes, n, rq) != tavwire::DecodeResult::kFrame) std::abort();  // we send only frames
        rx_.clear();
        if (!structured_) {
            const size_t take = size_ - pos_ < 700 ? size_ - pos_ : 700;
            rx_.insert(rx_.end(), data_ + pos_, data_ + pos_ + take);
            pos_ += take;
            return 0;
        }
        // Replies for this attempt: flags, status, length, data.
        while (pos_ + 3 <= size_) {
            const uint8_t flags = data_[pos_], status = data_[pos_ + 1];
            size_t n = data_[pos_ + 2];
            pos_ += 3;
            if (n > size_ - pos_) n = size_ - pos_;
            tavwire::Frame rp;
            rp.station = flags & 0x02 ? static_cast<uint8_t>(rq.station + 1) : rq.station;
            rp.command = static_cast<uint8_t>((flags & 0x04 ? rq.command + 1 : rq.command) | (flags & 0x20 ? 0 : 0x80));
            rp.sequence = flags & 0x01 ? static_cast<uint8_t>(rq.sequence - 1) : rq.sequence;
            rp.status = status;
            rp.data.assign(data_ + pos_, data_ + pos_ + n);
            pos_ += n;
            std::vector<uint8_t> raw = tavwire::encode(rp);
            if (flags & 0x08) raw[raw.size() - 2] ^= 0x5A;
            if (flags & 0x10) raw.back() = 0x7F;
            if (flags & 0x40) raw.resize(raw.size() / 2);
            rx_.insert(rx_.end(), raw.begin(), raw.end());
            if (flags & 0x80) break;  // the rest belongs to the next attempt
        }
        return 0;
    }

    int receive(uint8_t* buf, size_t max, int) override {
        if (rx_.empty()) return 0;  // silence: the time-out, without waiting
        size_t n = piece_ < max ? piece_ : max;
        if (n > rx_.size()) n = rx_.size();
        uint8_t marked[512];
        for (size_t i = 0; i < n; ++i) {
            marked[i] = rx_.front();
            rx_.pop_front();
        }
        if (!parity_) {
            std::memcpy(buf, marked, n);
            return static_cast<int>(n);
        }
        const size_t out = unmarker_.feed(marked, n, buf);
        if (out == 0) return rx_.empty() ? 0 : receive(buf, max, 0);
        return static_cast<int>(out);
    }

    void discard_input(int) override { rx_.clear(); }
    int take_parity_errors() override { return unmarker_.take_errors(); }
    bool exhausted() const { return pos_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_, pos_ = 0;
    bool structured_, parity_;
    size_t piece_;
    std::deque<uint8_t> rx_;
    tavwire::ParityUnmarker unmarker_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const bool structured = data[0] & 1, parity = data[0] & 2;
    const size_t piece = 1 + data[1] % 64;
    auto owned = std::make_unique<ScriptedTransport>(data + 2, size - 2, structured, parity, piece);
    ScriptedTransport* t = owned.get();
    wyn::LineConfig cfg;
    cfg.attempts = 1 + data[0] / 4 % 4;
    wyn::Line line(std::move(owned), cfg, nullptr);
    static const uint8_t kCommands[] = {tavwire::kCmdIdent, tavwire::kCmdParaRead, tavwire::kCmdPointRead,
                                        tavwire::kCmdAccess};
    for (int i = 0; i < 64 && !t->exhausted(); ++i) {
        wyn::Reply reply;
        const short rc = line.exchange(i % 3, kCommands[i % 4], {1, 2, 3}, reply);
        if (rc != 0 && rc != 2 && rc != 3 && rc != 9) std::abort();
        if (rc == 0 && reply.data.size() < 2) std::abort();  // STR1, STR2 always delivered
    }
    return 0;
}
