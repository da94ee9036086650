// The benchmark loop. Buffers are made once per case and shared by the
// subjects: a round compresses into `packed` and decompresses from it into
// `unpacked` before the next subject overwrites it, so memory stays at about
// three times the input however many subjects there are.
#include "runner.hpp"

#include <algorithm>
#include <cstring>

namespace vorlex::bench {
namespace {

std::string where(const Case& c, const Subject& s) { return c.name + ": " + s.name() + ": "; }

// Why unpacked is not the input, or empty when it is.
std::string mismatch(ByteView original, ByteView unpacked) {
    if (unpacked.size() != original.size()) {
        return "round trip FAILED: decompressed " + std::to_string(unpacked.size()) +
               " bytes, expected " + std::to_string(original.size());
    }
    if (original.empty() || std::memcmp(original.data(), unpacked.data(), original.size()) == 0) {
        return {};
    }
    const auto diff = std::mismatch(original.begin(), original.end(), unpacked.begin());
    return "round trip FAILED: decompressed data differs from the input at byte " +
           std::to_string(diff.first - original.begin());
}

class CaseRun {
public:
    CaseRun(const Case& c, const std::vector<Subject*>& subjects, const RunSettings& settings,
            Progress& progress)
        : case_(c), subjects_(subjects), settings_(settings), progress_(progress) {
        size_t capacity = 0;
        for (Subject* s : subjects) capacity = std::max(capacity, s->compress_capacity(c.input.size()));
        packed_ = Buffer(capacity);
        unpacked_ = Buffer(c.input.size());
    }

    std::vector<Measurement> run() {
        std::vector<Measurement> out;
        for (Subject* s : subjects_) {
            Measurement m;
            m.group = case_.group;
            m.input = case_.name;
            m.codec = s->name();
            m.peer = s->is_peer();
            m.original = case_.input.size();
            out.push_back(std::move(m));
        }
        // The untimed first pass warms code and buffers and gives the sizes
        // every timed call must reproduce.
        for (size_t i = 0; i < subjects_.size(); ++i) {
            progress_.step(case_, *subjects_[i], 0, settings_.rounds, Phase::verify);
            verify_once(*subjects_[i], out[i]);
        }
        for (int round = 1; round <= settings_.rounds; ++round) {
            for (size_t i = 0; i < subjects_.size(); ++i) {
                if (out[i].ok()) timed_round(*subjects_[i], round, out[i]);
            }
        }
        for (Measurement& m : out) {
            if (!m.ok()) {
                m.compress_per_call.clear();
                m.decompress_per_call.clear();
            }
        }
        return out;
    }

private:
    void fail(const Subject& s, Measurement& m, const std::string& why) {
        if (!m.ok()) return;
        m.error = why;
        progress_.failed(where(case_, s) + why);
    }

    size_t capacity_for(const Subject& s) const {
        return std::min(packed_.size(), s.compress_capacity(case_.input.size()));
    }

    // Both guards, after a call has written: a codec that writes past what
    // it was given is as wrong as one that decodes wrongly.
    bool guards_hold(const Subject& s, Measurement& m) {
        if (packed_.guard_intact() && unpacked_.guard_intact()) return true;
        fail(s, m, "wrote past the end of its output buffer");
        packed_.rearm_guard();
        unpacked_.rearm_guard();
        return false;
    }

    void verify_once(Subject& s, Measurement& m) {
        size_t produced = 0;
        const std::span<uint8_t> packed(packed_.data(), capacity_for(s));
        if (const char* why = s.compress(case_.input, packed, produced)) {
            fail(s, m, std::string("compression failed: ") + why);
            return;
        }
        if (!guards_hold(s, m)) return;
        m.compressed = produced;
        check_decompression(s, m);
    }

    // Decompresses once more outside the timing and compares.
    void check_decompression(Subject& s, Measurement& m) {
        size_t produced = 0;
        std::memset(unpacked_.data(), 0, unpacked_.size());
        if (const char* why = s.decompress(ByteView(packed_.data(), m.compressed),
                                           unpacked_.span(), produced)) {
            fail(s, m, std::string("decompression failed: ") + why);
            return;
        }
        if (!guards_hold(s, m)) return;
        const std::string bad = mismatch(case_.input, ByteView(unpacked_.data(), produced));
        if (!bad.empty()) fail(s, m, bad);
    }

    void timed_round(Subject& s, int round, Measurement& m) {
        const std::span<uint8_t> packed(packed_.data(), capacity_for(s));
        size_t produced = 0;
        const char* why = nullptr;
        CallTiming timing;

        progress_.step(case_, s, round, settings_.rounds, Phase::compress);
        const auto compress = [&] {
            why = s.compress(case_.input, packed, produced);
            return why == nullptr;
        };
        if (!time_calls(compress, settings_.min_time, settings_.clock, timing)) {
            fail(s, m, std::string("compression failed: ") + why);
            return;
        }
        if (!guards_hold(s, m)) return;
        if (produced != m.compressed) {
            fail(s, m, "compressed size changed between calls: " + std::to_string(m.compressed) +
                           " then " + std::to_string(produced) + " bytes");
            return;
        }
        m.compress_per_call.push_back(timing.per_call());

        progress_.step(case_, s, round, settings_.rounds, Phase::decompress);
        const ByteView input(packed_.data(), m.compressed);
        // Stale bytes of an earlier call must not pass for this round's output.
        std::memset(unpacked_.data(), 0, unpacked_.size());
        const auto decompress = [&] {
            why = s.decompress(input, unpacked_.span(), produced);
            return why == nullptr;
        };
        if (!time_calls(decompress, settings_.min_time, settings_.clock, timing)) {
            fail(s, m, std::string("decompression failed: ") + why);
            return;
        }
        if (!guards_hold(s, m)) return;
        const std::string bad = mismatch(case_.input, ByteView(unpacked_.data(), produced));
        if (!bad.empty()) {
            fail(s, m, bad);
            return;
        }
        m.decompress_per_call.push_back(timing.per_call());
    }

    const Case& case_;
    const std::vector<Subject*>& subjects_;
    const RunSettings& settings_;
    Progress& progress_;
    Buffer packed_;
    Buffer unpacked_;
};

}  // namespace

std::vector<Measurement> run_cases(const std::vector<Case>& cases,
                                   const std::vector<Subject*>& subjects,
                                   const RunSettings& settings, Progress& progress) {
    std::vector<Measurement> out;
    for (const Case& c : cases) {
        std::vector<Measurement> one = CaseRun(c, subjects, settings, progress).run();
        out.insert(out.end(), std::make_move_iterator(one.begin()),
                   std::make_move_iterator(one.end()));
    }
    return out;
}

}  // namespace vorlex::bench
