// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

struct SimFrame;

/// How often a fault strikes: never, on every Nth answer, or with a probability.
struct SimFaultRate
{
    uint32_t everyNth = 0;    ///< 1 = every answer; 0 = not by count
    double probability = 0.0; ///< 0..1, drawn from the seeded generator
    uint32_t firstN = 0;      ///< the first N answers after the setting, then never
    uint32_t afterN = 0;      ///< every answer after the first N (a device that goes silent)

    bool active() const { return everyNth > 0 || probability > 0.0 || firstN > 0 || afterN > 0; }
    static SimFaultRate always() { return {1, 0.0}; }
    static SimFaultRate every(uint32_t n) { return {n, 0.0}; }
    static SimFaultRate chance(double p) { return {0, p}; }
    static SimFaultRate first(uint32_t n) { return {0, 0.0, n}; }
    static SimFaultRate after(uint32_t n) { return {0, 0.0, 0, n}; }

    /// "" (every answer), "N" (every Nth, 0 = never), "0.25" (a probability),
    /// "firstN" (the first N answers only) or "afterN" (all but the first N).
    static std::optional<SimFaultRate> parse(std::string_view text);
};

/// The misbehaviour a server is told to show on its answers.
struct SimFaultSettings
{
    SimFaultRate drop;      ///< the answer is not sent
    int delayMs = 0;        ///< every answer leaves this much later
    SimFaultRate corrupt;   ///< the checksum's low byte is inverted
    SimFaultRate split;     ///< the answer goes out in several segments
    int splitPieces = 3;    ///< segments of a split answer
    int splitPauseMs = 10;  ///< pause between the segments
    SimFaultRate merge;     ///< the answer is held back and sent with the next one
    int closeAfter = 0;     ///< TCP: close the connection after this many answered requests
    SimFaultRate oversize;  ///< replaced by a frame announcing 1024 payload bytes
    SimFaultRate malformed; ///< its length field announces one byte more than it carries
    SimFaultRate garbage;   ///< replaced by as many pseudo-random bytes
    /// Gateway: a transfer the module does not acknowledge is answered with
    /// its status byte only (no filler bytes where the value would be).
    bool nackStatusOnly = false;
    std::vector<int> noAnswer;    ///< registers left out of read answers
    std::vector<int> ignoreWrite; ///< registers whose writes are acknowledged and not applied
    /// Gateway: the bus-scan answer (0x0006) carries these bytes instead of the
    /// module addresses (0x00, 0x80..0xFF, or none for an empty bus).
    std::optional<std::vector<uint8_t>> scanAnswer;
    bool dropScanAnswer = false; ///< gateway: only the bus-scan answer is withheld
    /// The answer leaves lateMs late without holding back the answers after
    /// it (they may overtake it): a controller busy with a slow command, a
    /// path that reorders.
    SimFaultRate late;
    int lateMs = 300;
    /// Answers to requests that carry one of these registers leave lateMs late
    /// in the same way (an EEPROM save that takes its time).
    std::vector<int> lateOn;

    bool any() const;
};

/// The fate of one answer, decided by SimFaults::plan().
struct SimFaultPlan
{
    bool drop = false;
    bool corrupt = false;
    bool split = false;
    bool merge = false;
    bool oversize = false;
    bool malformed = false;
    bool garbage = false;
    int delayMs = 0;
    int splitPieces = 1;
    int splitPauseMs = 0;
    bool late = false; ///< leaves lateMs late, overtaken by later answers
    int lateMs = 0;

    /// Short text naming the faults applied ("corrupt split"), empty when none.
    std::string describe() const;
};

/// Fault injection for one server, switchable at runtime from any thread.
/// Decisions come from a seeded generator, so a run is reproducible for the
/// same sequence of answers.
class SimFaults
{
public:
    explicit SimFaults(uint64_t seed = 1);

    void setSettings(const SimFaultSettings &settings);
    SimFaultSettings settings() const;
    /// Switches every fault off.
    void clear();
    /// Restarts the generator and the answer counters.
    void setSeed(uint64_t seed);

    void setDrop(SimFaultRate rate);
    void setDelayMs(int milliseconds);
    void setCorrupt(SimFaultRate rate);
    void setSplit(SimFaultRate rate, int pieces = 3, int pauseMs = 10);
    void setMerge(SimFaultRate rate);
    void setCloseAfter(int requests);
    void setOversize(SimFaultRate rate);
    void setMalformed(SimFaultRate rate);
    void setGarbage(SimFaultRate rate);
    void setNackStatusOnly(bool on);

    /// True when any fault is switched on (cheap, lock-free).
    bool any() const { return m_any.load(std::memory_order_relaxed); }
    /// Requests a TCP connection serves before it is closed; 0 = never.
    int closeAfter() const;

    /// Decides what happens to the next answer and advances the counters;
    /// \a request is the request it answers (for lateOn), when known.
    SimFaultPlan plan(const SimFrame *request = nullptr);
    /// True when \a request (a direct read or write, or a gateway transfer)
    /// carries one of \a registers.
    static bool carriesRegister(const SimFrame &request, const std::vector<int> &registers);
    /// Applies the byte-level faults of \a plan (oversize, garbage, malformed,
    /// corrupt; the first that applies in this order) to an encoded frame.
    void transform(const SimFaultPlan &plan, std::vector<uint8_t> &frame);

    /// Applies one command-line fault text ("drop=0.1", "split", "none", ...).
    /// False, with a reason in \a error, when the text is not understood.
    bool apply(std::string_view text, std::string *error = nullptr);
    /// Applies \a text to \a settings (same syntax as apply()).
    static bool applyTo(SimFaultSettings &settings, std::string_view text, std::string *error);
    /// The fault modes as the help text lists them, one per line.
    static std::string helpText();

private:
    bool strikes(const SimFaultRate &rate, uint64_t &counter);
    void settingsChanged();

    mutable std::mutex m_mutex;
    SimFaultSettings m_settings;
    std::mt19937_64 m_random;
    std::atomic<bool> m_any{false};
    struct Counters
    {
        uint64_t drop = 0, corrupt = 0, split = 0, merge = 0, oversize = 0, malformed = 0,
                 garbage = 0, late = 0;
    } m_counters;
};
