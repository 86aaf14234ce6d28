#include "wire/codec.h"

namespace tavwire {

uint16_t crc16(const uint8_t* bytes, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
        for (int b = 0; b < 8; ++b)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::vector<uint8_t> encode(const Frame& f) {
    std::vector<uint8_t> out;
    const size_t n = f.data.size();
    out.reserve(n + kOverhead);
    out.push_back(kStx);
    out.push_back(f.station);
    out.push_back(f.command);
    out.push_back(f.sequence);
    out.push_back(f.status);
    out.push_back(static_cast<uint8_t>(n & 0xFF));
    out.push_back(static_cast<uint8_t>((n >> 8) & 0xFF));
    out.insert(out.end(), f.data.begin(), f.data.end());
    const uint16_t crc = crc16(out.data() + 1, out.size() - 1);
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(static_cast<uint8_t>(crc >> 8));
    out.push_back(kEtx);
    return out;
}

void Decoder::reset() {
    raw_.clear();
    need_ = 0;
    done_ = false;
}

DecodeResult Decoder::push(uint8_t byte) {
    if (done_) reset();
    if (raw_.empty()) {
        if (byte != kStx) return DecodeResult::kNeedMore;  // noise between frames
        raw_.push_back(byte);
        return DecodeResult::kNeedMore;
    }
    raw_.push_back(byte);
    if (raw_.size() == kHeaderSize) {
        const size_t n = raw_[5] | (static_cast<size_t>(raw_[6]) << 8);
        if (raw_[1] > kMaxStation || n > kMaxData) {
            reset();
            return DecodeResult::kGarbled;
        }
        need_ = n + kOverhead;
    }
    if (raw_.size() < kHeaderSize || raw_.size() < need_) return DecodeResult::kNeedMore;
    const size_t n = need_ - kOverhead;
    const uint16_t crc = crc16(raw_.data() + 1, kHeaderSize - 1 + n);
    const uint16_t got = static_cast<uint16_t>(raw_[kHeaderSize + n] | (raw_[kHeaderSize + n + 1] << 8));
    if (crc != got || raw_.back() != kEtx) {
        reset();
        return DecodeResult::kGarbled;
    }
    frame_.station = raw_[1];
    frame_.command = raw_[2];
    frame_.sequence = raw_[3];
    frame_.status = raw_[4];
    frame_.data.assign(raw_.begin() + kHeaderSize, raw_.begin() + static_cast<long>(kHeaderSize + n));
    done_ = true;
    return DecodeResult::kFrame;
}

std::vector<Receiver::Heard> Receiver::feed(const uint8_t* bytes, size_t n, double now) {
    std::vector<Heard> out = expire(now);
    for (size_t i = 0; i < n; ++i) input_.push_back(Byte{bytes[i], now});
    run(out);
    return out;
}

std::vector<Receiver::Heard> Receiver::expire(double now) {
    std::vector<Heard> out;
    // The bytes offered again after a drop are as old as the dropped frame:
    // whatever stays partial among them has expired too.
    while (!held_.empty() && now > expiry()) {
        drop_partial(out);
        run(out);
    }
    return out;
}

void Receiver::drop_partial(std::vector<Heard>& out) {
    Heard h;
    h.garbled = true;
    out.push_back(std::move(h));
    // Hunt again from the byte after the dropped frame's STX.
    input_.insert(input_.begin(), held_.begin() + 1, held_.end());
    held_.clear();
    dec_.reset();
}

void Receiver::run(std::vector<Heard>& out) {
    size_t next = 0;
    while (next < input_.size()) {
        const Byte b = input_[next++];
        const DecodeResult r = dec_.push(b.value);
        if (r == DecodeResult::kNeedMore) {
            if (!dec_.idle()) held_.push_back(b);  // else noise before an STX
            continue;
        }
        held_.push_back(b);
        if (r == DecodeResult::kFrame) {
            Heard h;
            h.frame = dec_.frame();
            h.raw = dec_.raw();
            h.firstByte = held_.front().at;
            out.push_back(std::move(h));
            held_.clear();
            continue;
        }
        // Garbled: the bytes not yet offered go behind the dropped frame's.
        input_.erase(input_.begin(), input_.begin() + static_cast<long>(next));
        next = 0;
        drop_partial(out);
    }
    input_.clear();
}

DecodeResult decode(const uint8_t* bytes, size_t n, Frame& out) {
    Decoder d;
    for (size_t i = 0; i < n; ++i) {
        const DecodeResult r = d.push(bytes[i]);
        if (r == DecodeResult::kGarbled) return r;
        if (r == DecodeResult::kFrame) {
            if (i + 1 != n) return DecodeResult::kGarbled;  // trailing bytes
            out = d.frame();
            return r;
        }
    }
    return n == 0 || d.idle() ? DecodeResult::kGarbled : DecodeResult::kNeedMore;
}

size_t ParityUnmarker::feed(const uint8_t* in, size_t n, uint8_t* out) {
    size_t k = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = in[i];
        if (state_ == 0) {
            if (b == 0xFF) state_ = 1;
            else out[k++] = b;
        } else if (state_ == 1) {
            if (b == 0xFF) out[k++] = 0xFF, state_ = 0;
            else if (b == 0x00) state_ = 2;
            else out[k++] = b, state_ = 0;  // not a mark: keep the byte
        } else {
            out[k++] = b;
            ++errors_;
            state_ = 0;
        }
    }
    return k;
}

}  // namespace tavwire
