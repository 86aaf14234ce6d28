#include "sim/engine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iterator>

#include "platform/platform.h"

namespace tavsim {

namespace {

// Writes v as 2*nbytes BCD digits, most significant first.
void put_digits(uint8_t* out, int nbytes, uint64_t v) {
    for (int i = nbytes - 1; i >= 0; --i) {
        out[i] = to_bcd(static_cast<int>(v % 100));
        v /= 100;
    }
}

// The digits as a number, -1 when a nibble is not a decimal digit.
int64_t get_digits(const uint8_t* in, int nbytes) {
    int64_t v = 0;
    for (int i = 0; i < nbytes; ++i) {
        const int b = from_bcd(in[i]);
        if (b < 0) return -1;
        v = v * 100 + b;
    }
    return v;
}

bool digits_valid(const uint8_t* in, int nbytes) { return get_digits(in, nbytes) >= 0; }

Field6 field(uint64_t v, uint8_t control = 0) {
    Field6 f{};
    f[0] = control;
    put_digits(f.data() + 1, 5, v);
    return f;
}

Digits5 digits5(uint64_t v) {
    Digits5 d{};
    put_digits(d.data(), 5, v);
    return d;
}

int le16(const std::vector<uint8_t>& p, size_t at) { return p[at] | (p[at + 1] << 8); }

// Parameter/point range a request touches, for reply rules.
void request_range(const Frame& rq, int& first, int& last) {
    first = last = -1;
    const auto& p = rq.data;
    switch (rq.command) {
        case kCmdStdRead:
        case kCmdStdTableRead:
        case kCmdStdWrite:
        case kCmdPointRead:
        case kCmdPointWrite:
            if (p.size() >= 3) {
                first = from_bcd(p[2]);
                last = first + p[1] - 1;
            }
            break;
        case kCmdParaRead:
        case kCmdParaWrite:
            if (p.size() >= 3) {
                first = le16(p, 1);
                last = first + p[0] - 1;
            }
            break;
        case kCmdPlaceRun:
            if (!p.empty()) first = last = from_bcd(p[0]);
            break;
        default:
            break;
    }
}

const struct {
    int command;
    const char* name;
} kCommandNames[] = {
    {kCmdIdent, "ident"},           {kCmdStatus, "status"},
    {kCmdPlaceStatus, "place_status"}, {kCmdPlaceRun, "place_run"},
    {kCmdPlaceCancel, "place_cancel"}, {kCmdJogPlus, "jog_plus"},
    {kCmdJogMinus, "jog_minus"},    {kCmdRunOn, "run_on"},
    {kCmdRunOff, "run_off"},        {kCmdOnline, "online"},
    {kCmdOffline, "offline"},       {kCmdManualSpeed, "manual_speed"},
    {kCmdStdRead, "std_read"},      {kCmdStdTableRead, "std_table_read"},
    {kCmdStdWrite, "std_write"},    {kCmdParaRead, "para_read"},
    {kCmdParaWrite, "para_write"},  {kCmdPointRead, "point_read"},
    {kCmdPointWrite, "point_write"}, {kCmdAccess, "access"},
};

}  // namespace

int command_by_name(const std::string& name) {
    for (const auto& c : kCommandNames)
        if (name == c.name) return c.command;
    return -1;
}

const char* command_name(int command) {
    for (const auto& c : kCommandNames)
        if (command == c.command) return c.name;
    return "?";
}

bool lock_state_file(const std::string& statePath, int& lock) {
    const std::string path = statePath + ".lck";
    lock = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (lock < 0) return errno == EACCES || errno == EROFS;
    if (::flock(lock, LOCK_EX | LOCK_NB) == 0) return true;
    ::close(lock);
    lock = -1;
    return false;
}

// ------------------------------------------------------------ default line

namespace {

// The operator's unsigned parameters, as its definition pages give them:
// {page, parameter number}. They carry attribute 0x0082 and a 40-bit binary
// value; every other parameter is a whole BCD number with attribute 0x0080.
constexpr struct {
    int kind, no;
} kOperatorUnsigned[] = {{0, 18}, {1, 8}};

uint16_t operator_attribute(int kind, int no) {
    for (const auto& u : kOperatorUnsigned)
        if (u.kind == kind && u.no == no) return 0x0082;
    return 0x0080;
}

// Attribute bit 1: the value is a plain 40-bit binary number, not BCD.
bool std_value_is_binary(uint16_t attr) { return (attr & 0x0002u) != 0; }

Field6 std_value_field(uint64_t v, uint16_t attr) {
    if (!std_value_is_binary(attr)) return field(v, static_cast<uint8_t>(((attr >> 8) & 0x07u) << 4));
    Field6 f{};
    for (int i = 5; i >= 1; --i, v >>= 8) f[static_cast<size_t>(i)] = static_cast<uint8_t>(v & 0xFF);
    return f;
}

}  // namespace

Device default_operator() {
    Device d;
    d.station = 0;
    d.type = DeviceType::kOperator;
    d.ident = {0x01, 0x00, 0x50};
    for (int k = 0; k < kStdKinds; ++k) {
        for (int i = 0; i < kStdParamCount; ++i) {
            StdParam& p = d.std_params[static_cast<size_t>(k)][static_cast<size_t>(i)];
            const uint64_t v = static_cast<uint64_t>(k * 100 + i + 1);
            p.attr = operator_attribute(k, i + 1);
            p.value = std_value_field(v, p.attr);
            p.initial = digits5(v);
            p.maximum = digits5(9999);
            p.minimum = digits5(0);
        }
    }
    return d;
}

Device default_amplifier(int station, uint8_t family, bool vtype) {
    Device d;
    d.station = station;
    d.type = DeviceType::kAmplifier;
    d.vtype = vtype;
    if (vtype)  // V type (control type 0, interface 0), 50 W, NVS motor
        d.ident = {0x01, 0x00, family, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00};
    else  // L type (control type 2), 100 W, NVC motor
        d.ident = {0x01, 0x02, family, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00};
    d.params.resize(kExtParamCount);
    for (int n = 1; n <= kExtParamCount; ++n) d.params[static_cast<size_t>(n - 1)] = field(static_cast<uint64_t>(n));
    d.params[static_cast<size_t>(d.dp_stop_pos_param - 1)] = field(0);
    d.params[static_cast<size_t>(d.dp_stop_time_param - 1)] = field(0);
    d.params[static_cast<size_t>(d.write_protect_param - 1)] = field(0);
    const int count = vtype ? kVPoints : kLPoints;
    const int size = vtype ? kVImage : kLImage;
    for (int n = 1; n <= count; ++n) {
        std::vector<uint8_t> img(static_cast<size_t>(size), 0);
        put_digits(&img[2], 5, static_cast<uint64_t>(n) * 1000);  // stop position
        img[7] = 0x20;
        put_digits(&img[8], 3, 10000);  // speed 100.00
        img[11] = 0x20;                  // stop timer 0
        if (vtype) {
            img[16] = 0x10;
            put_digits(&img[17], 3, 100);  // acceleration 10.0
            img[20] = 0x10;
            put_digits(&img[21], 3, 100);  // deceleration 10.0
        }
        d.points.push_back(std::move(img));
    }
    return d;
}

std::vector<Device> default_line() {
    return {default_operator(), default_amplifier(1, 0x30, false), default_amplifier(2, 0x40, true)};
}

// ------------------------------------------------------------------ engine

Engine::Engine() : devices_(default_line()) {}

Engine::~Engine() {
    if (mutex_fd_ >= 0) ::close(mutex_fd_);
}

Device* Engine::device(int station) {
    for (auto& d : devices_)
        if (d.station == station) return &d;
    return nullptr;
}

double Engine::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count() + offset_;
}

void Engine::sync_mutex_hold() {
    if (faults_.refuse_mutex && mutex_fd_ < 0) {
        const std::string path = mutex_path();
        ::mkdir(path.substr(0, path.rfind('/')).c_str(), 0777);
        mutex_fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (mutex_fd_ >= 0 && ::flock(mutex_fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(mutex_fd_);
            mutex_fd_ = -1;
        }
    } else if (!faults_.refuse_mutex && mutex_fd_ >= 0) {
        ::close(mutex_fd_);
        mutex_fd_ = -1;
    }
}

std::vector<uint8_t> Engine::receive(const uint8_t* bytes, size_t n) {
    using namespace std::chrono;
    const double wall = duration<double>(steady_clock::now().time_since_epoch()).count();  // the gap is real time
    std::vector<uint8_t> out;
    for (const Receiver::Heard& h : receiver_.feed(bytes, n, wall)) {
        if (h.garbled) {
            ++garbled_;
        } else if (!h.frame.is_reply()) {
            const std::vector<uint8_t> rep = handle(h.frame, h.raw);
            out.insert(out.end(), rep.begin(), rep.end());
        }
    }
    return out;
}

const Rule* Engine::match_rule(const Frame& rq) {
    int first, last;
    request_range(rq, first, last);
    for (auto it = faults_.rules.begin(); it != faults_.rules.end(); ++it) {
        Rule& r = *it;
        if (r.count == 0) continue;
        if (r.station >= 0 && r.station != rq.station) continue;
        if (r.command >= 0 && r.command != rq.command) continue;
        if (r.first >= 0 || r.last >= 0) {
            if (first < 0) continue;
            const int lo = r.first >= 0 ? r.first : 0;
            const int hi = r.last >= 0 ? r.last : 1 << 30;
            if (last < lo || first > hi) continue;
        }
        if (r.count > 0) --r.count;
        return &r;
    }
    return nullptr;
}

std::vector<uint8_t> Engine::handle(const Frame& rq, const std::vector<uint8_t>& raw) {
    ++requests_;
    std::vector<uint8_t> out;
    if (faults_.echo) out = raw;
    if (faults_.timeout_next > 0) {
        --faults_.timeout_next;
        return out;
    }
    std::vector<uint8_t> reply;
    if (raw == last_request_ && !last_reply_.empty()) {
        reply = last_reply_;  // a retry of the exchange just served: answer again, do not run twice
    } else {
        Device* d = device(rq.station);
        if (d == nullptr) return out;  // nobody answers at that station
        const Rule* rule = match_rule(rq);
        const bool refuse = rule != nullptr &&
                            ((rule->str1 >= 0 && (rule->str1 & 0xE8) != 0) || rule->status != 0);
        Reply rep = execute(*d, rq, !refuse);
        if (rule != nullptr) {
            if (rule->str1 >= 0) rep.str1 = static_cast<uint8_t>(rule->str1);
            if (rule->str2 >= 0) rep.str2 = static_cast<uint8_t>(rule->str2);
            if (rule->status != 0) rep.status = static_cast<uint8_t>(rule->status);
        }
        Frame f;
        f.station = rq.station;
        f.command = static_cast<uint8_t>(rq.command | kReplyBit);
        f.sequence = rq.sequence;
        f.status = rep.status;
        f.data.reserve(rep.payload.size() + 2);
        f.data.push_back(rep.str1);
        f.data.push_back(rep.str2);
        f.data.insert(f.data.end(), rep.payload.begin(), rep.payload.end());
        reply = encode(f);
        last_request_ = raw;
        last_reply_ = reply;
        if (rep.changed && !refuse) save();
    }
    if (faults_.drop_next > 0) {
        --faults_.drop_next;
        return out;
    }
    if (faults_.garble_next > 0) {
        --faults_.garble_next;
        reply[reply.size() - 3] ^= 0x5A;  // the CRC no longer matches
    }
    out.insert(out.end(), reply.begin(), reply.end());
    return out;
}

void Engine::update_motion(Device& d) {
    if (!d.moving) return;
    const double t = now() - d.move_start;
    if (t >= d.move_duration) {
        d.position = d.move_to;
        d.moving = false;
        d.run_code = 2;
    } else {
        d.position = d.move_from + (d.move_to - d.move_from) * (t / d.move_duration);
    }
}

uint8_t Engine::base_str1(Device& d) {
    if (d.type != DeviceType::kAmplifier) return 0;
    update_motion(d);
    uint8_t s = 0;
    if (d.offline && d.run_on && !d.moving) s |= kStrReady;
    if (d.offline) s |= kStrOffline;
    return s;
}

namespace {

// The value of a decimal-place parameter (its last BCD byte), 0 when unset.
int decimal_setting(const Device& d, int param) {
    if (param < 1 || param > static_cast<int>(d.params.size())) return 0;
    const int v = from_bcd(d.params[static_cast<size_t>(param - 1)][5]);
    return v < 0 ? 0 : v;
}

// The decimal places the stop-position setting gives the parameters that
// follow it: its whole value, above 5 taken as 5 as the host takes it.
int stop_position_places(const Device& d) {
    const int param = d.dp_stop_pos_param;
    if (param < 1 || param > static_cast<int>(d.params.size())) return 0;
    const int64_t v = get_digits(&d.params[static_cast<size_t>(param - 1)][1], 5);
    return v < 0 ? 0 : v > 5 ? 5 : static_cast<int>(v);
}

// Extended parameters whose decimal places are the stop-position setting
// (attribute bit 4 in the amplifier's definitions), not what was written.
bool follows_stop_position_places(const Device& d, int param) {
    static constexpr int kEveryModel[] = {24, 25, 63, 64};
    static constexpr int kLTypeOnly[] = {101, 102, 103, 107};
    const auto in = [param](const auto& list) {
        return std::find(std::begin(list), std::end(list), param) != std::end(list);
    };
    return in(kEveryModel) || (!d.vtype && in(kLTypeOnly));
}

}  // namespace

std::vector<uint8_t> Engine::image_for_read(const Device& d, int point) const {
    std::vector<uint8_t> img = d.points[static_cast<size_t>(point - 1)];
    auto dp_of = [&](int param) { return decimal_setting(d, param); };
    // The decimal nibbles follow the amplifier's own settings, whatever was written.
    img[1] = static_cast<uint8_t>((img[1] & 0x0F) | ((dp_of(d.dp_stop_pos_param) & 0xF) << 4));
    img[7] = static_cast<uint8_t>((img[7] & 0x0F) | 0x20);
    img[11] = static_cast<uint8_t>((img[11] & 0x0F) | (((dp_of(d.dp_stop_time_param) + 2) & 0xF) << 4));
    if (d.vtype) {
        img[16] = static_cast<uint8_t>((img[16] & 0x0F) | 0x10);
        img[20] = static_cast<uint8_t>((img[20] & 0x0F) | 0x10);
    }
    img[0] &= 0x7F;
    if (d.mem_error_points.count(point) != 0) img[0] |= 0x80;
    return img;
}

Engine::Reply Engine::execute(Device& d, const Frame& rq, bool apply) {
    Reply r;
    r.str1 = base_str1(d);
    const auto& p = rq.data;
    const bool amp = d.type == DeviceType::kAmplifier;
    const bool op = d.type == DeviceType::kOperator;
    auto refuse = [&] { r.str1 |= kStrRefused; };
    auto data_error = [&] { r.str1 |= kStrDataError; };

    switch (rq.command) {
        case kCmdIdent: {
            r.payload.assign(d.ident.begin(), d.ident.end());
            auto it = faults_.family.find(d.station);
            if (it != faults_.family.end()) r.payload[2] = static_cast<uint8_t>(it->second);
            break;
        }
        case kCmdStatus:
            break;
        case kCmdPlaceStatus: {
            if (!amp) { refuse(); break; }
            r.payload.assign(98, 0);
            const int pt = d.run_point;
            r.payload[0] = to_bcd(pt);
            if (pt >= 1 && pt <= d.point_count()) {
                const auto& img = d.points[static_cast<size_t>(pt - 1)];
                r.payload[1] = static_cast<uint8_t>(img[0] & 0x0F);
                if (d.mem_error_points.count(pt) != 0) r.payload[1] |= 0x80;
            }
            const int dp = image_for_read(d, std::clamp(pt, 1, d.point_count()))[1] >> 4;
            const double pos = std::round(d.position);
            r.payload[2] = static_cast<uint8_t>((dp << 4) | (pos < 0 ? 1 : 0));
            put_digits(&r.payload[3], 4, static_cast<uint64_t>(std::fabs(pos)) % 100000000ULL);
            r.payload[7] = 0x20;
            put_digits(&r.payload[8], 3, d.moving ? static_cast<uint64_t>(d.run_speed) % 1000000ULL : 0);
            r.payload[11] = r.payload[2] & 0xF0;
            put_digits(&r.payload[12], 4,
                       static_cast<uint64_t>(std::fabs(std::round(d.move_to - d.position))) % 100000000ULL);
            r.payload[16] = static_cast<uint8_t>(d.run_code);
            break;
        }
        case kCmdPlaceRun: {
            if (!amp) { refuse(); break; }
            const int pt = p.empty() ? -1 : from_bcd(p[0]);
            if (pt < 1 || pt > d.point_count() || d.mem_error_points.count(pt) != 0) { data_error(); break; }
            if (!(r.str1 & kStrReady)) { refuse(); break; }
            if (!apply) break;
            const auto& img = d.points[static_cast<size_t>(pt - 1)];
            const int64_t stop = get_digits(&img[2], 5);
            const int64_t speed = get_digits(&img[8], 3);
            if (stop < 0 || speed < 0) { data_error(); break; }
            const double target = (img[1] & 1) ? -static_cast<double>(stop) : static_cast<double>(stop);
            d.move_from = d.position;
            d.move_to = (img[0] & 1) ? d.position + target : target;  // bit 0: incremental
            d.run_speed = static_cast<double>(speed);
            d.move_duration = std::clamp(std::fabs(d.move_to - d.move_from) / std::max<double>(1.0, d.run_speed),
                                         0.2, 5.0);
            d.move_start = now();
            d.moving = true;
            d.run_point = pt;
            d.run_code = 1;
            r.str1 = base_str1(d);
            r.changed = true;
            break;
        }
        case kCmdPlaceCancel:
            if (!amp) { refuse(); break; }
            if (apply && d.moving) {
                d.moving = false;
                d.move_to = d.position;
                d.run_code = 3;
                r.changed = true;
            }
            r.str1 = base_str1(d);
            break;
        case kCmdJogPlus:
        case kCmdJogMinus:
            if (!amp || !d.offline || !d.run_on || d.moving) { refuse(); break; }
            if (apply) {
                d.position += (rq.command == kCmdJogPlus ? 1 : -1) * (d.manual_speed + 1);
                d.move_to = d.position;
                r.changed = true;
            }
            break;
        case kCmdRunOn:
            if (!amp || !d.offline) { refuse(); break; }
            if (apply) d.run_on = true, r.changed = true;
            r.str1 = base_str1(d);
            break;
        case kCmdRunOff:
        case kCmdOnline:
        case kCmdOffline:
            if (!amp) { refuse(); break; }
            if (apply) {
                if (rq.command != kCmdOffline) {
                    if (d.moving) update_motion(d), d.moving = false, d.run_code = 3, d.move_to = d.position;
                    d.run_on = false;
                }
                if (rq.command == kCmdOnline) d.offline = false;
                if (rq.command == kCmdOffline) d.offline = true;
                r.changed = true;
            }
            r.str1 = base_str1(d);
            break;
        case kCmdManualSpeed: {
            if (!amp) { refuse(); break; }
            const int s = p.size() >= 2 ? le16(p, 0) : -1;
            if (s < 0 || s > 9999) { data_error(); break; }
            if (apply) d.manual_speed = s, r.changed = true;
            break;
        }
        case kCmdStdRead:
        case kCmdStdTableRead:
        case kCmdStdWrite: {
            if (!op) { refuse(); break; }
            if (p.size() < 3) { data_error(); break; }
            const int kind = p[0], count = p[1], first = from_bcd(p[2]);
            if (kind > 1 || count < 1 || count > 16 || first < 1 || first + count - 1 > kStdParamCount) {
                data_error();
                break;
            }
            auto& table = d.std_params[static_cast<size_t>(kind)];
            if (rq.command == kCmdStdWrite) {
                if (p.size() != 3 + 6 * static_cast<size_t>(count)) { r.status = kStatusDataSize; break; }
                for (int i = 0; i < count; ++i)
                    if (!std_value_is_binary(table[static_cast<size_t>(first - 1 + i)].attr) &&
                        !digits_valid(&p[4 + 6 * static_cast<size_t>(i)], 5)) {
                        data_error();
                        break;
                    }
                if ((r.str1 & kStrDataError) || !apply) break;
                for (int i = 0; i < count; ++i)
                    std::copy_n(&p[3 + 6 * static_cast<size_t>(i)], 6, table[static_cast<size_t>(first - 1 + i)].value.begin());
                r.changed = true;
                break;
            }
            for (int i = 0; i < count; ++i) {
                const StdParam& sp = table[static_cast<size_t>(first - 1 + i)];
                if (rq.command == kCmdStdRead) {
                    Field6 f = sp.value;
                    if (sp.mem_error) f[0] |= 0x08;
                    r.payload.insert(r.payload.end(), f.begin(), f.end());
                } else {
                    r.payload.push_back(static_cast<uint8_t>(sp.attr >> 8));
                    r.payload.push_back(static_cast<uint8_t>(sp.attr & 0xFF));
                    r.payload.insert(r.payload.end(), sp.initial.begin(), sp.initial.end());
                    r.payload.insert(r.payload.end(), sp.maximum.begin(), sp.maximum.end());
                    r.payload.insert(r.payload.end(), sp.minimum.begin(), sp.minimum.end());
                }
            }
            break;
        }
        case kCmdParaRead:
        case kCmdParaWrite: {
            if (!amp) { refuse(); break; }
            if (p.size() < 3) { data_error(); break; }
            const int count = p[0], first = le16(p, 1);
            if (count < 1 || count > 16 || first < 1 || first + count - 1 > kExtParamCount) { data_error(); break; }
            if (rq.command == kCmdParaRead) {
                for (int i = 0; i < count; ++i) {
                    Field6 f = d.params[static_cast<size_t>(first - 1 + i)];
                    if (follows_stop_position_places(d, first + i))
                        f[0] = static_cast<uint8_t>((f[0] & 0x0F) | (stop_position_places(d) << 4));
                    if (d.mem_error_params.count(first + i) != 0) f[0] |= 0x08;
                    r.payload.insert(r.payload.end(), f.begin(), f.end());
                }
                break;
            }
            if (p.size() != 3 + 6 * static_cast<size_t>(count)) { r.status = kStatusDataSize; break; }
            const int wp = d.write_protect_param;
            const bool protectedNow = wp >= 1 && wp <= kExtParamCount &&
                                      get_digits(&d.params[static_cast<size_t>(wp - 1)][1], 5) > 0;
            if (protectedNow && !(count == 1 && first == wp)) { refuse(); break; }
            for (int i = 0; i < count; ++i)
                if (!digits_valid(&p[4 + 6 * static_cast<size_t>(i)], 5)) { data_error(); break; }
            if ((r.str1 & kStrDataError) || !apply) break;
            for (int i = 0; i < count; ++i)
                std::copy_n(&p[3 + 6 * static_cast<size_t>(i)], 6, d.params[static_cast<size_t>(first - 1 + i)].begin());
            r.changed = true;
            break;
        }
        case kCmdPointRead:
        case kCmdPointWrite: {
            if (!amp) { refuse(); break; }
            if (p.size() < 3) { data_error(); break; }
            const int size = p[0], count = p[1], first = from_bcd(p[2]);
            if (size != d.image_size()) { refuse(); break; }  // L images to a V type or the reverse
            if (count < 1 || count > 16 || first < 1 || first + count - 1 > d.point_count()) { data_error(); break; }
            const size_t sz = static_cast<size_t>(size);
            if (rq.command == kCmdPointRead) {
                for (int i = 0; i < count; ++i) {
                    const auto img = image_for_read(d, first + i);
                    r.payload.insert(r.payload.end(), img.begin(), img.end());
                }
                break;
            }
            if (p.size() != 3 + sz * static_cast<size_t>(count)) { r.status = kStatusDataSize; break; }
            for (int i = 0; i < count && !(r.str1 & kStrDataError); ++i) {
                const uint8_t* img = &p[3 + sz * static_cast<size_t>(i)];
                if (!digits_valid(img + 2, 5) || !digits_valid(img + 8, 3) || !digits_valid(img + 12, 3) ||
                    (size == kVImage && (!digits_valid(img + 17, 3) || !digits_valid(img + 21, 3))))
                    data_error();
            }
            if ((r.str1 & kStrDataError) || !apply) break;
            for (int i = 0; i < count; ++i) {
                auto& img = d.points[static_cast<size_t>(first - 1 + i)];
                std::copy_n(&p[3 + sz * static_cast<size_t>(i)], sz, img.begin());
                img[0] &= 0x7F;
                d.mem_error_points.erase(first + i);  // rewriting the point repairs its memory
            }
            r.changed = true;
            break;
        }
        case kCmdAccess:
            r = access(d, p, apply);
            break;
        default:
            refuse();
            break;
    }
    return r;
}

Engine::Reply Engine::access(Device& d, const std::vector<uint8_t>& p, bool apply) {
    Reply r;
    r.str1 = base_str1(d);
    if (p.size() < 8) {
        r.str1 |= kStrDataError;
        return r;
    }
    const int cmd = p[0], kind = p[2];
    const uint32_t addr = static_cast<uint32_t>(p[3] | (p[4] << 8) | (p[5] << 16));
    const int count = le16(p, 6);
    const std::vector<uint8_t> data(p.begin() + 8, p.end());
    const bool read = cmd == 0x50 || cmd == 0x52;   // 'P', 'R'
    const bool write = cmd == 0x51 || cmd == 0x53;  // 'Q', 'S'
    if (!read && !write) {
        r.str1 |= kStrRefused;
        return r;
    }
    const size_t want = read && count > 2 ? static_cast<size_t>(count - 2) : 0;
    if (want > 4094) {
        r.str1 |= kStrDataError;
        return r;
    }
    const bool amp = d.type == DeviceType::kAmplifier;
    const int lo = p[3], mid = p[4], hi = p[5];

    if ((kind == 0x00 || kind == 0x01) && write && data.empty()) {  // parameter transfer open / close
        if (apply) d.session = kind == 0x00 ? 1 : 0;
        return r;
    }
    if (kind == 0x51 && write) {  // transfer announce (M = 0) / close (M = 1)
        if (apply) d.session = mid == 0 ? 1 : 0;
        return r;
    }
    if (kind == 0x07 && amp && hi == 6) {  // positioning table: M point, L 1 + byte offset
        const size_t sz = static_cast<size_t>(d.image_size());
        const size_t start = static_cast<size_t>(std::max(mid - 1, 0)) * sz + static_cast<size_t>(std::max(lo - 1, 0));
        const size_t total = sz * d.points.size();
        if (read) {
            r.payload.assign(want, 0);
            for (size_t i = 0; i < want && start + i < total; ++i) {
                const int pt = static_cast<int>((start + i) / sz) + 1;
                r.payload[i] = image_for_read(d, pt)[(start + i) % sz];
            }
        } else if (apply) {
            for (size_t i = 0; i < data.size() && start + i < total; ++i)
                d.points[(start + i) / sz][(start + i) % sz] = data[i];
            r.changed = !data.empty();
        }
        return r;
    }
    if (kind >= 0x22 && kind <= 0x24 && d.type == DeviceType::kOperator) {  // standard parameters
        auto& table = d.std_params[static_cast<size_t>(kind - 0x22)];
        const int first = from_bcd(static_cast<unsigned>(lo));
        const int n = static_cast<int>(read ? want / 6 : data.size() / 6);
        if (first < 1 || first + n - 1 > kStdParamCount) {
            r.str1 |= kStrDataError;
            return r;
        }
        if (read) {
            r.payload.assign(want, 0);
            for (int i = 0; i < n; ++i) {
                Field6 f = table[static_cast<size_t>(first - 1 + i)].value;
                if (table[static_cast<size_t>(first - 1 + i)].mem_error) f[0] |= 0x08;
                std::copy(f.begin(), f.end(), r.payload.begin() + 6 * i);
            }
        } else if (apply) {
            for (int i = 0; i < n; ++i)
                std::copy_n(&data[6 * static_cast<size_t>(i)], 6, table[static_cast<size_t>(first - 1 + i)].value.begin());
            r.changed = n > 0;
        }
        return r;
    }
    if (kind == 0x30 && amp) {  // extended parameters: L/M parameter number
        const int first = lo | (mid << 8);
        const int n = static_cast<int>(read ? want / 6 : data.size() / 6);
        if (first < 1 || first + n - 1 > kExtParamCount) {
            r.str1 |= kStrDataError;
            return r;
        }
        if (read) {
            r.payload.assign(want, 0);
            for (int i = 0; i < n; ++i) {
                Field6 f = d.params[static_cast<size_t>(first - 1 + i)];
                if (d.mem_error_params.count(first + i) != 0) f[0] |= 0x08;
                std::copy(f.begin(), f.end(), r.payload.begin() + 6 * i);
            }
        } else if (apply) {
            for (int i = 0; i < n; ++i)
                std::copy_n(&data[6 * static_cast<size_t>(i)], 6, d.params[static_cast<size_t>(first - 1 + i)].begin());
            r.changed = n > 0;
        }
        return r;
    }
    // Anything else is plain byte memory of the device (identification image and the like).
    const uint32_t base = static_cast<uint32_t>(kind) << 24;
    if (read) {
        r.payload.assign(want, 0);
        for (size_t i = 0; i < want; ++i) {
            auto it = d.memory.find(base | ((addr + i) & 0xFFFFFF));
            if (it != d.memory.end()) r.payload[i] = it->second;
        }
    } else if (apply) {
        for (size_t i = 0; i < data.size(); ++i) d.memory[base | ((addr + i) & 0xFFFFFF)] = data[i];
        r.changed = !data.empty();
    }
    return r;
}

}  // namespace tavsim
