// peersim stream: plays the agent's side of a stream session. Waits for
// "OPEN_STREAM", answers it ("OK~" and a format code, "DENY", or any chosen
// text), then streams IMA ADPCM that it encodes itself from a WAV file or a
// tone, at real-time pace in datagrams of whole blocks; sends "PING" at an
// interval and counts the "PING_OK" answers; can close the stream, fall
// silent, send from another port or inject raw datagrams. Meanwhile it answers
// the browser's requests on the same port: "GET_PLAYLIST" with a playlist
// packet or a chosen text, "NEED_STREAM" with a grant or "DENY". Every
// datagram it receives is logged, so tests can check what the plug-in said.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "codec/ima_adpcm.h"
#include "codec/ima_encoder.h"
#include "tools/netsafe.h"
#include "tools/peersim.h"
#include "wire/protocol.h"
#include "wire/tagged_packet.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr long kMaxDurationMs = 600000;
constexpr long kMaxRunMs = 900000; // the whole run, however many sessions
constexpr long kMaxSessions = 2000;
constexpr long kMaxSends = 1000000; // over the whole run, whatever the options
constexpr long kMaxBlocks = 32;     // more than 21 makes datagrams larger than the plug-in reads
constexpr size_t kMaxDatagram = 65507;
constexpr long kMaxFlood = 100000;

const char* const kUsage =
    "[--bind ADDR] [--port N] [--format 1-5] [--answer TEXT|--answer-hex HEX|--no-answer]\n"
    "      [--wav FILE|--tone HZ] [--blocks N] [--speed PERCENT] [--ping MS]\n"
    "      [--close-after MS] [--silent-after MS] [--other-port-after MS] [--other-bind ADDR]\n"
    "      [--inject MS:HEX] [--inject-text MS:TEXT] [--trailing N] [--bad-step]\n"
    "      [--duration MS] [--wait MS] [--sessions N] [--log FILE] [--adpcm-out FILE] [--verbose]\n"
    "      [--playlist ENTRY]... [--playlist-count TEXT] [--playlist-answer TEXT]\n"
    "      [--playlist-pad N] [--playlist-silent] [--permission TEXT] [--permission-silent]\n"
    "      [--need-grant] [--flood MS:N] [--drop PERCENT]\n"
    "    Listens on ADDR:N (127.0.0.2:5150) for \"OPEN_STREAM\" and answers \"OK~<format>\"\n"
    "    (default format 1) or the given answer; an answer of \"OK~\" and a digit 1-5 in any\n"
    "    case streams that format. Audio goes out in datagrams of N whole blocks (4) at\n"
    "    real-time pace (--speed 100) for the duration (10000 ms) after the answer, or until\n"
    "    the plug-in sends \"CLOSE_STREAM\". Times of --close-after, --silent-after,\n"
    "    --other-port-after and --inject count from the answer. --trailing adds N bytes that\n"
    "    are no whole block; --bad-step writes step index 200 into every block header.\n"
    "    --adpcm-out keeps the audio bytes sent; --wait bounds the wait for each open (30000).\n"
    "    --flood sends N copies of an audio datagram from the other socket as fast as it can;\n"
    "    --drop leaves out that share of the audio datagrams (the same ones every run). An\n"
    "    --inject of no bytes at all sends an empty datagram.\n"
    "    Meanwhile \"GET_PLAYLIST\" gets a playlist packet: the entries as tags 1..N (each\n"
    "    --playlist, none by default) and their count, or the --playlist-count text, as tag 0;\n"
    "    or the --playlist-answer text (DENY, PLAYLIST_ERROR); --playlist-pad N adds zero\n"
    "    bytes to make the answer N bytes long. \"NEED_STREAM\" gets the --permission text\n"
    "    (OK); anything but DENY grants, and with --need-grant only a granted address may\n"
    "    open a stream. Answers go to the request's address and port. --sessions 0 only\n"
    "    answers requests until --wait has passed. A run never lasts more than 15 minutes.";

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Printable datagrams are logged as text, anything else as hex.
std::string Describe(const uint8_t* data, size_t n) {
    bool printable = true;
    for (size_t i = 0; i < n; ++i)
        printable = printable && data[i] >= 0x20 && data[i] < 0x7F && data[i] != '"';
    std::string out;
    if (printable) return "text=\"" + std::string(reinterpret_cast<const char*>(data), n) + "\"";
    out = "hex=";
    char b[3];
    for (size_t i = 0; i < n && i < 64; ++i) {
        std::snprintf(b, sizeof b, "%02x", data[i]);
        out += b;
    }
    if (n > 64) out += "...";
    return out;
}

struct Injection {
    long atMs;
    std::vector<uint8_t> bytes;
    bool done = false;
};

struct Options {
    std::string bind = "127.0.0.2";
    long port = wire::kDefaultStreamPort;
    long format = 1;
    bool answerGiven = false;
    bool noAnswer = false;
    std::vector<uint8_t> answer;
    std::string wav;
    double toneHz = 440;
    long blocks = 4;
    long speed = 100;
    long pingMs = 0;
    long closeAfterMs = -1;
    long silentAfterMs = -1;
    long otherAfterMs = -1;
    std::string otherBind;
    std::vector<Injection> injections;
    long trailing = 0;
    bool badStep = false;
    long durationMs = 10000;
    long floodAtMs = -1;
    long floodCount = 0;
    long dropPercent = 0;
    long waitMs = 30000;
    long sessions = 1;
    std::string logPath;
    std::string adpcmPath;
    bool verbose = false;
    // Requests from the browser.
    std::vector<std::string> playlist;
    bool playlistCountGiven = false;
    std::string playlistCount;
    bool playlistAnswerGiven = false;
    std::string playlistAnswer;
    long playlistPad = 0;
    bool playlistSilent = false;
    std::string permission = "OK";
    bool permissionSilent = false;
    bool needGrant = false;
};

// The answer to "GET_PLAYLIST": a tagged-field packet whose tag 0 holds the
// entry count and whose entries follow as tags (i + 1) % 256, or a chosen
// text; padded with zero bytes past the packet when asked. False when it
// would not fit a datagram.
bool BuildPlaylistAnswer(const Options& o, std::vector<uint8_t>& out) {
    if (o.playlistAnswerGiven) {
        out.assign(o.playlistAnswer.begin(), o.playlistAnswer.end());
    } else {
        const std::string count =
            o.playlistCountGiven ? o.playlistCount : std::to_string(o.playlist.size());
        size_t total = 2 + count.size() + CTaggedPacket::kFieldOverhead;
        for (const std::string& e : o.playlist)
            total += e.size() + CTaggedPacket::kFieldOverhead;
        if (total > kMaxDatagram) return false;
        CTaggedPacket p;
        p.AddField(wire::PLAYLIST_COUNT_TAG, count.data(), static_cast<uint16_t>(count.size()));
        for (size_t i = 0; i < o.playlist.size(); ++i)
            p.AddField(static_cast<uint8_t>((i + 1) % 256), o.playlist[i].data(),
                       static_cast<uint16_t>(o.playlist[i].size()));
        out.assign(p.GetSize(), 0);
        p.Serialize(out.data());
    }
    if (out.size() < static_cast<size_t>(o.playlistPad)) out.resize(o.playlistPad, 0);
    return out.size() <= kMaxDatagram;
}

// The signal to encode, as interleaved 16-bit frames of the stream's format.
class Source {
  public:
    bool LoadWav(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)),
                               std::istreambuf_iterator<char>());
        auto u16 = [&](size_t at) { return uint32_t(b[at] | (b[at + 1] << 8)); };
        auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
        if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) ||
            std::memcmp(b.data() + 8, "WAVE", 4))
            return false;
        bool haveFormat = false;
        for (size_t at = 12; at + 8 <= b.size();) {
            const uint32_t size = u32(at + 4);
            const size_t body = at + 8;
            if (size > b.size() - body) break;
            if (!std::memcmp(b.data() + at, "fmt ", 4) && size >= 16) {
                if (u16(body) != 1 || u16(body + 14) != 16) return false; // 16-bit PCM only
                channels_ = u16(body + 2);
                rate_ = u32(body + 4);
                haveFormat = channels_ >= 1 && channels_ <= 2 && rate_ > 0;
            } else if (!std::memcmp(b.data() + at, "data", 4) && haveFormat) {
                samples_.resize(size / 2);
                for (size_t i = 0; i < samples_.size(); ++i)
                    samples_[i] = static_cast<int16_t>(u16(body + 2 * i));
            }
            at = body + size + (size & 1);
        }
        return haveFormat && samples_.size() >= channels_;
    }

    // Frames from `first` on, in the stream's channels and rate: a WAV file
    // loops and is mapped by nearest sample; a tone is computed.
    void Frames(const codec::AudioFormat& f, double toneHz, uint64_t first, size_t count,
                int16_t* out) const {
        for (size_t i = 0; i < count; ++i) {
            const uint64_t n = first + i;
            for (unsigned c = 0; c < f.channels; ++c) {
                int16_t v;
                if (samples_.empty()) {
                    const double hz = toneHz * (c ? 1.5 : 1.0);
                    v = static_cast<int16_t>(10000 *
                                             std::sin(2 * M_PI * hz * double(n) / f.sampleRate));
                } else {
                    const uint64_t frames = samples_.size() / channels_;
                    const uint64_t at = (n * rate_ / f.sampleRate) % frames;
                    if (f.channels == channels_)
                        v = samples_[at * channels_ + c];
                    else if (channels_ == 1)
                        v = samples_[at];
                    else
                        v = static_cast<int16_t>((samples_[at * 2] + samples_[at * 2 + 1]) / 2);
                }
                out[i * f.channels + c] = v;
            }
        }
    }

  private:
    std::vector<int16_t> samples_;
    unsigned channels_ = 0;
    uint32_t rate_ = 0;
};

class Simulator {
  public:
    Simulator(const Options& o, const Source& source, FILE* log)
        : o_(o), source_(source), log_(log) {}
    ~Simulator() {
        if (main_ >= 0) close(main_);
        if (other_ >= 0) close(other_);
        if (adpcm_) std::fclose(adpcm_);
    }

    int Run() {
        uint32_t addr = 0, otherAddr = 0;
        if (!netsafe::ParseIpv4(o_.bind, addr) || !netsafe::IsLoopback(addr))
            return Fail("--bind must be a loopback address");
        const std::string otherBind = o_.otherBind.empty() ? o_.bind : o_.otherBind;
        if (!netsafe::ParseIpv4(otherBind, otherAddr) || !netsafe::IsLoopback(otherAddr))
            return Fail("--other-bind must be a loopback address");
        main_ = netsafe::OpenSafeUdp(addr, static_cast<uint16_t>(o_.port));
        if (main_ < 0) return Fail("cannot bind the stream port");
        if (o_.otherAfterMs >= 0 || o_.floodAtMs >= 0) {
            other_ = netsafe::OpenSafeUdp(otherAddr, 0);
            if (other_ < 0) return Fail("cannot open the other socket");
        }
        if (!o_.adpcmPath.empty() && !(adpcm_ = std::fopen(o_.adpcmPath.c_str(), "wb")))
            return Fail("cannot write --adpcm-out");
        if (!BuildPlaylistAnswer(o_, playlistAnswer_))
            return Fail("the playlist answer does not fit a datagram");
        start_ = SteadyClock::now();
        Log("listening %s:%ld", o_.bind.c_str(), o_.port);

        int status = 0;
        bool havePending = false;
        if (o_.sessions == 0) {
            WaitForOpen(); // answers requests, opens no stream
            Log("requests only: %ld ms passed", o_.waitMs);
        }
        for (long s = 1; s <= o_.sessions; ++s) {
            if (!havePending && !WaitForOpen()) {
                Log("no OPEN_STREAM within %ld ms", o_.waitMs);
                status = 1;
                break;
            }
            havePending = Serve(s);
        }
        Log("done sends=%ld", sends_);
        return status;
    }

  private:
    struct Datagram {
        std::vector<uint8_t> bytes;
        uint32_t from = 0;
        uint16_t port = 0;
        bool onOther = false;
    };

    int Fail(const char* why) {
        std::fprintf(stderr, "peersim stream: %s\n", why);
        return 2;
    }

    long NowMs() const {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start_)
                .count());
    }

    template <typename... A> void Log(const char* fmt, A... args) {
        std::fprintf(log_, "%ld ", NowMs());
        if constexpr (sizeof...(A) == 0)
            std::fputs(fmt, log_);
        else
            std::fprintf(log_, fmt, args...);
        std::fputc('\n', log_);
        std::fflush(log_);
    }

    // Waits up to `ms` for one datagram on either socket.
    bool ReceiveOne(long ms, Datagram& d) {
        pollfd fds[2] = {{main_, POLLIN, 0}, {other_, POLLIN, 0}};
        const int n = poll(fds, other_ >= 0 ? 2 : 1, static_cast<int>(std::max(0L, ms)));
        if (n <= 0) return false;
        const bool onOther = !(fds[0].revents & POLLIN);
        uint8_t buffer[kMaxDatagram];
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        const ssize_t got = recvfrom(onOther ? other_ : main_, buffer, sizeof buffer, 0,
                                     reinterpret_cast<sockaddr*>(&sa), &len);
        if (got < 0) return false;
        d.bytes.assign(buffer, buffer + got);
        d.from = ntohl(sa.sin_addr.s_addr);
        d.port = ntohs(sa.sin_port);
        d.onOther = onOther;
        in_addr a{};
        a.s_addr = sa.sin_addr.s_addr;
        Log("recv %s from=%s:%u len=%zd %s", onOther ? "other" : "main", inet_ntoa(a), d.port, got,
            Describe(buffer, size_t(got)).c_str());
        return true;
    }

    // An "OPEN_STREAM" that may start a session, whose sender becomes the
    // peer. With --need-grant only an address that was granted may.
    bool AcceptOpen(const Datagram& d) {
        if (std::string(d.bytes.begin(), d.bytes.end()) != wire::kOpenStream) return false;
        if (o_.sessions == 0) return false;
        if (o_.needGrant && !granted_.count(d.from)) {
            Log("ignored OPEN_STREAM from %s: not granted", AddressText(d.from).c_str());
            return false;
        }
        peer_ = d.from;
        peerPort_ = d.port;
        return true;
    }

    // Answers "GET_PLAYLIST" and "NEED_STREAM" to where they came from;
    // false for any other datagram.
    bool AnswerRequest(const Datagram& d) {
        const std::string text(d.bytes.begin(), d.bytes.end());
        std::vector<uint8_t> answer;
        if (text == wire::kGetPlaylist) {
            if (o_.playlistSilent) return true;
            answer = playlistAnswer_;
        } else if (text == wire::kNeedStream) {
            if (o_.permissionSilent) return true;
            answer.assign(o_.permission.begin(), o_.permission.end());
            if (o_.permission != wire::kDeny) granted_.insert(d.from);
        } else {
            return false;
        }
        if (sends_ >= kMaxSends) return true;
        ++sends_;
        const bool ok = netsafe::SafeSendTo(d.onOther ? other_ : main_, d.from, d.port,
                                            answer.data(), answer.size());
        Log("send %s answer %s to=%s:%u len=%zu %s%s", d.onOther ? "other" : "main", text.c_str(),
            AddressText(d.from).c_str(), d.port, answer.size(),
            Describe(answer.data(), answer.size()).c_str(), ok ? "" : " FAILED");
        return true;
    }

    static std::string AddressText(uint32_t addr) {
        in_addr a{};
        a.s_addr = htonl(addr);
        return inet_ntoa(a);
    }

    // Waits for an "OPEN_STREAM" that starts a session, answering requests
    // meanwhile; they do not extend the wait.
    bool WaitForOpen() {
        const long deadline = std::min(NowMs() + o_.waitMs, kMaxRunMs);
        Datagram d;
        for (long now = NowMs(); now < deadline; now = NowMs()) {
            if (ReceiveOne(deadline - now, d) && !AnswerRequest(d) && AcceptOpen(d)) return true;
        }
        return false;
    }

    bool Send(bool fromOther, const void* data, size_t n, const char* what) {
        if (sends_ >= kMaxSends) return false;
        ++sends_;
        const bool ok = netsafe::SafeSendTo(fromOther ? other_ : main_, peer_, peerPort_, data, n);
        if (what) Log("send %s %s%s", fromOther ? "other" : "main", what, ok ? "" : " FAILED");
        return ok;
    }

    // One session from its "OPEN_STREAM" on. Returns true when a new
    // "OPEN_STREAM" ended it, which then starts the next session.
    bool Serve(long number) {
        std::vector<uint8_t> answer = o_.answer;
        if (!o_.answerGiven) {
            const std::string ok = std::string(wire::kOk) + char('0' + o_.format);
            answer.assign(ok.begin(), ok.end());
        }
        const std::string upper = Upper(std::string(answer.begin(), answer.end()));
        const codec::AudioFormat* f = nullptr;
        if (!o_.noAnswer && upper.size() >= 4 && upper.compare(0, 3, wire::kOk) == 0)
            f = codec::FindAudioFormat(upper[3] - '0');
        if (!o_.noAnswer)
            Send(false, answer.data(), answer.size(),
                 ("answer " + Describe(answer.data(), answer.size())).c_str());

        const long t0 = NowMs();
        const long end = std::min(t0 + o_.durationMs, kMaxRunMs);
        std::vector<Injection> injections = o_.injections;
        codec::ImaEncoder encoder(f ? *f : *codec::FindAudioFormat(1));
        const double datagramMs =
            f ? double(o_.blocks) * f->samplesPerBlock * 1000.0 / f->sampleRate * 100.0 / o_.speed
              : 0;
        long audio = 0, audioBytes = 0, pings = 0, pingOkMain = 0, pingOkOther = 0, closes = 0;
        long nextPing = o_.pingMs > 0 ? t0 + o_.pingMs : -1;
        uint64_t frame = 0;
        bool closedByUs = false, closedByPlugin = false, newOpen = false, loggedOther = false;
        bool flooded = false;
        long dropped = 0;
        uint32_t dropState = 12345; // the same datagrams are left out in every run
        std::vector<int16_t> frames;
        std::vector<uint8_t> datagram;

        for (long now = NowMs(); now < end && !closedByPlugin && !newOpen; now = NowMs()) {
            const long rel = now - t0;
            const bool other = o_.otherAfterMs >= 0 && rel >= o_.otherAfterMs;
            if (other && !loggedOther) {
                Log("sending from the other socket now");
                loggedOther = true;
            }
            const bool silent = closedByUs || (o_.silentAfterMs >= 0 && rel >= o_.silentAfterMs);
            if (!closedByUs && o_.closeAfterMs >= 0 && rel >= o_.closeAfterMs) {
                Send(other, wire::kCloseStream.data(), wire::kCloseStream.size(), "CLOSE_STREAM");
                closedByUs = true;
                continue;
            }
            if (f && !flooded && o_.floodAtMs >= 0 && rel >= o_.floodAtMs && !datagram.empty()) {
                flooded = true;
                long sent = 0;
                while (sent < o_.floodCount &&
                       Send(true, datagram.data(), datagram.size(), nullptr))
                    ++sent;
                Log("flood sent=%ld bytes=%zu", sent, datagram.size());
            }
            for (Injection& in : injections) {
                if (in.done || rel < in.atMs) continue;
                in.done = true;
                Send(other, in.bytes.data(), in.bytes.size(),
                     ("inject " + Describe(in.bytes.data(), in.bytes.size())).c_str());
            }
            if (!silent && nextPing >= 0 && now >= nextPing) {
                Send(other, wire::kPing.data(), wire::kPing.size(), "PING");
                ++pings;
                nextPing += o_.pingMs;
            }
            // The audio schedule follows the datagram count, so it keeps real
            // time however late a single wake-up is.
            const long audioDue = t0 + static_cast<long>(double(audio) * datagramMs);
            if (f && !silent && now >= audioDue) {
                frames.resize(size_t(f->samplesPerBlock) * f->channels);
                datagram.assign(size_t(o_.blocks) * f->blockSize + o_.trailing, 0x5A);
                for (long b = 0; b < o_.blocks; ++b) {
                    source_.Frames(*f, o_.toneHz, frame, f->samplesPerBlock, frames.data());
                    frame += f->samplesPerBlock;
                    uint8_t* block = datagram.data() + b * f->blockSize;
                    encoder.EncodeBlock(frames.data(), block);
                    if (o_.badStep)
                        for (unsigned c = 0; c < f->channels; ++c)
                            block[4 * c + 2] = 200;
                }
                dropState = dropState * 1103515245u + 12345u;
                if (o_.dropPercent > 0 && long((dropState >> 16) % 100) < o_.dropPercent) {
                    ++audio;
                    ++dropped;
                    continue;
                }
                if (!Send(other, datagram.data(), datagram.size(), o_.verbose ? "audio" : nullptr))
                    break;
                if (adpcm_) {
                    // Flushed at once: a test may read the file while the stream goes on.
                    std::fwrite(datagram.data(), 1, datagram.size(), adpcm_);
                    std::fflush(adpcm_);
                }
                ++audio;
                audioBytes += static_cast<long>(datagram.size());
                continue;
            }

            long wake = end;
            if (f && !silent)
                wake = std::min(wake, t0 + static_cast<long>(double(audio) * datagramMs));
            if (!silent && nextPing >= 0) wake = std::min(wake, nextPing);
            if (!closedByUs && o_.closeAfterMs >= 0) wake = std::min(wake, t0 + o_.closeAfterMs);
            if (f && !flooded && o_.floodAtMs >= 0) wake = std::min(wake, t0 + o_.floodAtMs);
            for (const Injection& in : injections)
                if (!in.done) wake = std::min(wake, t0 + in.atMs);
            Datagram d;
            if (!ReceiveOne(wake - now, d) || AnswerRequest(d)) continue;
            const std::string text(d.bytes.begin(), d.bytes.end());
            if (text == wire::kPingOk) {
                ++(d.onOther ? pingOkOther : pingOkMain);
            } else if (text == wire::kCloseStream) {
                ++closes;
                closedByPlugin = true;
            } else if (AcceptOpen(d)) {
                newOpen = true;
            }
        }
        if (adpcm_) std::fflush(adpcm_);
        Log("summary session=%ld answer=%s format=%d audio=%ld audio_bytes=%ld pings=%ld "
            "ping_ok_main=%ld ping_ok_other=%ld close_received=%ld closed_by_peer=%d dropped=%ld",
            number, o_.noAnswer ? "none" : Describe(answer.data(), answer.size()).c_str(),
            f ? f->code : 0, audio, audioBytes, pings, pingOkMain, pingOkOther, closes,
            closedByUs ? 1 : 0, dropped);
        return newOpen;
    }

    const Options& o_;
    const Source& source_;
    FILE* log_;
    FILE* adpcm_ = nullptr;
    int main_ = -1;
    int other_ = -1;
    uint32_t peer_ = 0;
    uint16_t peerPort_ = 0;
    long sends_ = 0;
    std::vector<uint8_t> playlistAnswer_;
    std::set<uint32_t> granted_; // addresses that were given permission
    SteadyClock::time_point start_;
};

int Run(int argc, char** argv) {
    Options o;
    auto fail = [](const char* what, const char* arg) {
        std::fprintf(stderr, "peersim stream: %s%s%s\n", what, arg ? ": " : "", arg ? arg : "");
        return 2;
    };
    const std::pair<const char*, bool*> flags[] = {
        {"--no-answer", &o.noAnswer},
        {"--bad-step", &o.badStep},
        {"--verbose", &o.verbose},
        {"--playlist-silent", &o.playlistSilent},
        {"--permission-silent", &o.permissionSilent},
        {"--need-grant", &o.needGrant},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        auto flag = std::find_if(std::begin(flags), std::end(flags),
                                 [&](const auto& f) { return opt == f.first; });
        if (flag != std::end(flags)) {
            *flag->second = true;
            continue;
        }
        if (i + 1 >= argc) return fail("missing value after", argv[i]);
        const char* v = argv[++i];
        bool ok = true;
        auto injection = [&](bool hex) {
            const char* colon = std::strchr(v, ':');
            Injection in{};
            if (!colon ||
                !peersim::ParseLong(std::string(v, colon).c_str(), 0, kMaxDurationMs, in.atMs))
                return false;
            if (hex) {
                if (!peersim::ParseHex(colon + 1, in.bytes)) return false;
            } else {
                in.bytes.assign(colon + 1, colon + std::strlen(colon));
            }
            if ((!hex && in.bytes.empty()) || in.bytes.size() > kMaxDatagram) return false;
            o.injections.push_back(in);
            return true;
        };
        if (opt == "--bind")
            o.bind = v;
        else if (opt == "--port")
            ok = peersim::ParseLong(v, 1, 65535, o.port);
        else if (opt == "--format")
            ok = peersim::ParseLong(v, 1, 5, o.format);
        else if (opt == "--answer") {
            o.answerGiven = true;
            o.answer.assign(v, v + std::strlen(v));
        } else if (opt == "--answer-hex") {
            o.answerGiven = true;
            ok = peersim::ParseHex(v, o.answer) && !o.answer.empty();
        } else if (opt == "--wav")
            o.wav = v;
        else if (opt == "--tone") {
            o.toneHz = std::atof(v);
            ok = o.toneHz > 0 && o.toneHz < 20000;
        } else if (opt == "--blocks")
            ok = peersim::ParseLong(v, 1, kMaxBlocks, o.blocks);
        else if (opt == "--speed")
            ok = peersim::ParseLong(v, 10, 10000, o.speed);
        else if (opt == "--ping")
            ok = peersim::ParseLong(v, 10, kMaxDurationMs, o.pingMs);
        else if (opt == "--close-after")
            ok = peersim::ParseLong(v, 0, kMaxDurationMs, o.closeAfterMs);
        else if (opt == "--silent-after")
            ok = peersim::ParseLong(v, 0, kMaxDurationMs, o.silentAfterMs);
        else if (opt == "--other-port-after")
            ok = peersim::ParseLong(v, 0, kMaxDurationMs, o.otherAfterMs);
        else if (opt == "--other-bind")
            o.otherBind = v;
        else if (opt == "--inject")
            ok = injection(true);
        else if (opt == "--inject-text")
            ok = injection(false);
        else if (opt == "--trailing")
            ok = peersim::ParseLong(v, 0, 4096, o.trailing);
        else if (opt == "--duration")
            ok = peersim::ParseLong(v, 1, kMaxDurationMs, o.durationMs);
        else if (opt == "--wait")
            ok = peersim::ParseLong(v, 1, kMaxDurationMs, o.waitMs);
        else if (opt == "--sessions")
            ok = peersim::ParseLong(v, 0, kMaxSessions, o.sessions);
        else if (opt == "--playlist")
            o.playlist.push_back(v);
        else if (opt == "--playlist-count") {
            o.playlistCountGiven = true;
            o.playlistCount = v;
        } else if (opt == "--playlist-answer") {
            o.playlistAnswerGiven = true;
            o.playlistAnswer = v;
        } else if (opt == "--playlist-pad")
            ok = peersim::ParseLong(v, 1, kMaxDatagram, o.playlistPad);
        else if (opt == "--permission")
            o.permission = v;
        else if (opt == "--flood") {
            const char* colon = std::strchr(v, ':');
            ok =
                colon &&
                peersim::ParseLong(std::string(v, colon).c_str(), 0, kMaxDurationMs, o.floodAtMs) &&
                peersim::ParseLong(colon + 1, 1, kMaxFlood, o.floodCount);
        } else if (opt == "--drop")
            ok = peersim::ParseLong(v, 0, 99, o.dropPercent);
        else if (opt == "--log")
            o.logPath = v;
        else if (opt == "--adpcm-out")
            o.adpcmPath = v;
        else
            return fail("unknown option", argv[i - 1]);
        if (!ok) return fail("bad value for", argv[i - 1]);
    }
    Source source;
    if (!o.wav.empty() && !source.LoadWav(o.wav))
        return fail("not a 16-bit PCM WAV file", o.wav.c_str());
    FILE* log = stdout;
    if (!o.logPath.empty() && !(log = std::fopen(o.logPath.c_str(), "w")))
        return fail("cannot write", o.logPath.c_str());
    int status;
    {
        Simulator sim(o, source, log);
        status = sim.Run();
    }
    if (log != stdout) std::fclose(log);
    return status;
}

const peersim::RegisterMode kStream("stream", Run, kUsage);

} // namespace
