// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ChangeHistory.h"
#include "device/DeviceRecords.h"
#include "device/QLMCIPMotor.h"
#include "device/ReceivedValues.h"
#include "device/RegisterLock.h"
#include "device/TuningResponse.h"
#include "protocol/AnswerAssembler.h"
#include "protocol/CommStatistics.h"
#include "protocol/ConnectionState.h"

#include <array>
#include <atomic>
#include <bitset>
#include <functional>
#include <memory>
#include <span>
#include <vector>

class AutoResetEvent;
struct ModelProfile;
class ReadCycleObserver;
#include "device/SessionListener.h"

/// The device-facing state that the windows, the command-line tool and the
/// tests share: the RegisterLock, the current register image, the live values
/// and their flags, the feature records, the answer reassembly and decoding,
/// the connection's shared state and the communication counters.
class QLMCSession : public AnswerSink
{
public:
    explicit QLMCSession(SessionListener *listener = nullptr);
    ~QLMCSession() override;
    QLMCSession(const QLMCSession &) = delete;
    QLMCSession &operator=(const QLMCSession &) = delete;

    RegisterLock &lock() { return m_lock; }
    /// The current register image; use it under the RegisterLock.
    QLMCIPMotor &motor() { return *m_motor; }
    /// Replaces the image by a fresh one and resets the feature records
    /// (every connection open), so no window keeps the previous device's values.
    void replaceMotor();

    /// \a observer hears every decoded read cycle (every answer that carried
    /// the position) until removed; both take the RegisterLock, so no call is
    /// running or made once removeReadCycleObserver() returns.
    void addReadCycleObserver(ReadCycleObserver *observer);
    void removeReadCycleObserver(ReadCycleObserver *observer);

    /// The profile of the identification of the connection now open; nullptr
    /// from every open until the identification ran (the rule book then checks
    /// sizes only). Set by the connection; any thread.
    std::shared_ptr<const ModelProfile> profile();
    void setProfile(std::shared_ptr<const ModelProfile> profile);

    /// The changes made in this session, and their journal.
    ChangeHistory &history() { return m_history; }
    /// The device the changes are made to, as the history names it
    /// ("127.0.0.21", "127.0.0.5 module 16"); set by the connection at open.
    void setDeviceLabel(const QString &label);
    QString deviceLabel();
    /// Raised by every read or write request put into the image (lock-free):
    /// an idle sender compares it with the value it went idle at.
    uint64_t requestStamp() const { return m_requestStamp.load(std::memory_order_acquire); }

    ConnectionState &connection() { return m_connection; }
    CommStatistics &statistics() { return m_statistics; }
    AnswerAssembler &assembler() { return m_assembler; }

    void setListener(SessionListener *listener) { m_listener = listener; }
    SessionListener *listener() const { return m_listener; }
    /// The sender thread's answer event, set after every answer taken as the
    /// answer of the request in flight (never by a late one).
    void setAnswerEvent(AutoResetEvent *event) { m_answerEvent = event; }

    // --- Urgent writes ---------------------------------------------------------
    //
    // A STOP must not wait behind other requests. An urgent write goes out as
    // the sender's next packet, ahead of the poll and of every pending read and
    // write; a pending ordinary write of the same register is dropped (it would
    // undo the urgent one). If the sender is waiting for an answer, the wait
    // ends once that answer is late by the link's own measure (past the recent
    // p99 answer time) rather than at its time-out; the request is then given
    // up like a lost one, and its answer, should it still come, is told apart
    // by its transaction number. Over a gateway the write goes to the
    // connected module. An urgent write is never repeated (no write is).
    //
    // Any thread, with or without the RegisterLock held.

    /// Queues an urgent write of \a value (most significant byte first in the
    /// register's Size bytes, as RequestWrite). Returns false, queueing
    /// nothing, while no connection is open. The register is sent when the
    /// model grants its write, or before the identification (nothing is
    /// granted yet and a STOP must not wait for it).
    bool requestUrgentWrite(int address, int64_t value);
    /// "Driver Stop": 0x20 = 0 as an urgent write. The consign auto change is
    /// the panel's (see driverStop() in src/panel).
    bool requestDriverStop();
    /// True while an urgent write waits for the sender (lock-free).
    bool urgentWritePending() const { return m_urgentPending.load(); }
    struct UrgentWrite
    {
        int address;
        int64_t value;
    };
    /// The sender takes the queued urgent writes, in address order. Their
    /// values are kept apart from WriteValue: an ordinary write asked right
    /// after the urgent one keeps its own value and follows it.
    std::vector<UrgentWrite> takeUrgentWrites();
    /// The sender gives back urgent writes it could not send (those asked
    /// again meanwhile keep their newer value).
    void restoreUrgentWrites(const std::vector<UrgentWrite> &writes);
    /// How an urgent write wakes the sender at once (its tick and its answer
    /// wait); installed by the sender, cleared with nullptr.
    void setSenderWake(std::function<void()> wake);

    // Live values and records; written by the decoder, read under the lock.
    ReceivedValues Received;
    NewValueFlags Flags;
    OptionsRecord Options;
    AutoTuningRecord AutoTuning;
    WarningRecord Warning;
    CalibrationRecord Calibration;
    EnhancedCmdRecord EnhancedCmd;
    LimitsRecord Limits;
    IORecord IO;
    ConnectionRecord Device;
    /// Position, speed and command stamped at decode while an auto-tuning run is recorded.
    TuningResponse TuningRecorder;

    // Main-panel state the decoder and the sender read or change.
    std::atomic<int> RefreshRatio{20};  ///< packets per send cycle (one read each)
    std::atomic<int> DisplayDivider{5}; ///< decoded answers per display run
    std::atomic<int> AnswerCounter{0};
    std::atomic<bool> ModeSync{true};
    std::atomic<bool> RestorePending{false};
    std::atomic<bool> GraphicEnabled{false}; ///< the "Graphic" check box

    // What the sender thread polls besides the live registers.
    std::atomic<bool> PollingEnabled{false};
    std::atomic<bool> WarningWindowVisible{false};
    std::atomic<bool> AutoTuningActive{false};
    std::atomic<bool> IOWindowVisible{false};
    /// A parameter file was just sent: read every register back after it.
    std::atomic<bool> ReadBackAfterSend{false};
    /// The identification ran for the connection now open (cleared at open).
    std::atomic<bool> Identified{false};

    /// Feeds received bytes into the reassembly on behalf of the connection of
    /// \a generation (TCP: a stream chunk; UDP: one datagram, see
    /// AnswerAssembler::feedDatagram). Answers of an earlier connection are
    /// counted as stale and dropped.
    void feedAnswerBytes(const uint8_t *bytes, size_t length, uint32_t generation, bool datagram);
    /// True when \a generation is the current connection's (or CurrentGeneration).
    bool isCurrentGeneration(uint32_t generation) const;

    /// The communication error counter shown in status panel 3.
    int commErrors() const { return m_commErrors.load(); }
    /// Clears the error counter (every open).
    void clearCommErrors() { m_commErrors = 0; }

    /// Decodes one answer whose checksum was verified: statistics, gateway
    /// acknowledges, every register into the image, the live values and the
    /// records, and the notifications. Takes the answer as it is (a parameter
    /// file's view packet, tests); answers from the link go through
    /// answerFramed(), which decodes only the answer of the request in flight.
    void DataReceived(const QLMCIPPacket &answer);

    /// The number of the last answer the decoder took (raised once per answer
    /// of the current connection, never reset). A register whose
    /// QLMCRegister::ReceivedSequence is above the number noted before a
    /// request was received after that request.
    uint64_t answerSequence();
    /// Stamps the registers of a write packet whose answer arrived (and, at a
    /// gateway, was acknowledged) with a new answer number; called by the sender.
    void writeAnswered(std::span<const uint8_t> addresses);
    /// True once (then cleared) when the last gateway write answer was not
    /// acknowledged; the sender asks it before it counts a write as answered.
    bool takeWriteRefused() { return m_writeRefused.exchange(false); }

    /// Copies the live values and takes the raised flags in one hold of the
    /// lock, so no value is torn and no flag raised in between is lost. With
    /// \a received, also tells which registers were received since the open
    /// (a live value whose register was not holds nothing the device sent).
    void takeDisplayValues(ReceivedValues &values, NewValueFlags &flags,
                           std::bitset<RegisterCount> *received = nullptr);

    /// Requests the regulation parameters, as the panel's "Read" button does.
    void requestRegulationParameters();
    /// Requests every readable register but 0x5B, waits 100 ms, then 0x5B
    /// (0x5B is last, so its answer marks the end of the read-back).
    void AskRegistersFromModule();

    // AnswerSink: the reassembly hands over framed answers here.
    void answerFramed(const QLMCIPPacket &answer) override;
    void frameDropped(FrameError error) override;

private:
    /// Returns false when the answer was not taken (an earlier connection's;
    /// with \a claim, one that does not carry the awaited transaction number).
    bool decode(const QLMCIPPacket &answer, uint32_t generation, bool claim);
    /// Takes \a transactionId as the answer of the request in flight, or
    /// counts it as late. Under the RegisterLock.
    bool claimAnswer(int32_t transactionId);
    void resetRecords();
    void installWriteHook();
    /// Records the write request of \a address in the history (under the lock).
    void writeRequested(int address);
    void raiseCommError(SessionListener::CommError kind, bool capped);
    void showStatus(int panel, const QString &text);
    bool deliver(int address, const uint8_t *value, bool &typeArrived, bool &versionArrived);

    RegisterLock m_lock;
    std::atomic<uint64_t> m_requestStamp{0}; ///< raised by every request of the image
    std::unique_ptr<QLMCIPMotor> m_motor;
    std::vector<ReadCycleObserver *> m_readCycleObservers; ///< guarded by the RegisterLock
    ConnectionState m_connection;
    CommStatistics m_statistics;
    AnswerAssembler m_assembler;
    SessionListener *m_listener;
    AutoResetEvent *m_answerEvent = nullptr;
    std::atomic<int> m_commErrors{0};
    uint64_t m_answerSequence = 0; ///< under the RegisterLock
    std::atomic<bool> m_writeRefused{false};
    std::bitset<RegisterCount> m_urgent;               ///< under the RegisterLock
    std::array<int64_t, RegisterCount> m_urgentValues{}; ///< under the RegisterLock
    std::atomic<bool> m_urgentPending{false};
    std::function<void()> m_senderWake; ///< under the RegisterLock
    std::shared_ptr<const ModelProfile> m_profile; ///< under the RegisterLock
    ChangeHistory m_history;
    QString m_deviceLabel; ///< under the RegisterLock
    /// Registers whose change was recorded in this connection.
    std::bitset<RegisterCount> m_changed; ///< under the RegisterLock
};
