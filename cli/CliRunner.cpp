#include "cli/CliRunner.h"
#include "cli/FeatureCommands.h"
#include "cli/RemoteCommands.h"

#include "cli/EnhancedCommands.h"
#include "cli/FileCommands.h"
#include "cli/NetworkCommands.h"
#include "cli/OptionsCommands.h"

#include "cli/DiscoveryCommands.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "link/QLMCConnection.h"
#include "record/LiveRecorder.h"

#include <QCoreApplication>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>

CliRunner::CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err)
    : m_options(options)
    , m_out(out)
    , m_err(err)
    , m_session(std::make_unique<QLMCSession>())
{
    m_connection = std::make_unique<QLMCConnection>(*m_session, this);
    m_connection->setAnswerTimeoutMs(m_options.answerTimeoutMs);
    m_link = std::make_unique<CliLink>(
        *m_session,
        CliLink::Hooks{
            [this](const std::function<bool()> &done, int ms) { return waitFor(done, ms); },
            [this] { return m_connection->isSettled(); }, [this] { return m_failed; },
            [this] { return m_status0; }},
        m_err, m_options.ip, m_options.timeoutMs);
    // Every decoded answer arms the display, so the runner hears of each one.
    m_session->DisplayDivider = 0;
    connect(m_connection.get(), &QLMCConnection::statusChanged, this,
            [this](int panel, const QString &text) {
                if (panel == 3)
                    m_status3 = text;
                if (panel == 0) {
                    m_status0 = text;
                    if (text == QLatin1String("TCP Error") || text == QLatin1String("TCP closed")
                        || text == QLatin1String("UDP Error"))
                        m_failed = true;
                }
            });
    connect(m_connection.get(), &QLMCConnection::identified, this,
            [this](const ModelProfile &) { m_identified = true; });
    connect(m_connection.get(), &QLMCConnection::deviceRefused, this,
            [this](const QString &, const QString &text) {
                m_refused = true;
                m_refusal = text;
            });
    connect(m_connection.get(), &QLMCConnection::modelWarning, this,
            [this](const QString &, const QString &text) {
                m_err << "warning: "
                      << QString(text).replace(QLatin1String("\r\n"), QLatin1String(" "))
                      << Qt::endl;
            });
}

CliRunner::~CliRunner()
{
    m_connection.reset();
}

void CliRunner::armMainDisplay()
{
    {
        // Called right after the decoder stored this answer's time.
        std::lock_guard<std::mutex> guard(m_timesMutex);
        m_answerTimes.push_back(m_session->statistics().shown.answerTimeMs.load());
    }
    // May come from the sender thread (UDP): only a flag.
    QMetaObject::invokeMethod(
        this, [this] { m_answer = true; }, Qt::QueuedConnection);
}

void CliRunner::limitsReceived()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_limitsHook)
                m_limitsHook();
        },
        Qt::QueuedConnection);
}

void CliRunner::startWindowDisplay(Display window)
{
    if (window == Display::AutoTuning)
        m_tuningStatuses.fetch_add(1);
}

int CliRunner::fail(int code, const QString &message)
{
    m_err << "tarvine-cli: " << message << Qt::endl;
    if (m_connection && m_connection->isConnected())
        m_connection->closeFromMenu();
    return code;
}

bool CliRunner::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!done())
            QThread::msleep(1);
    }
    return true;
}

bool CliRunner::waitUntilSettled(int timeoutMs)
{
    // Settled: nothing pending and no answer awaited; a lost answer was asked
    // again or read back by the sender, or given up. A failed link ends the
    // wait too, but as a failure: what it left pending was never answered.
    return m_link->settle(timeoutMs);
}

int CliRunner::openAndIdentify()
{
    if (!QLMCConnection::isValidIpText(m_options.ip))
        return fail(Usage, QStringLiteral("Wrong IP address: %1").arg(m_options.ip));
    if (m_options.port != 0) {
        const auto port = quint16(m_options.port);
        m_connection->setPorts(port, port);
    }
    m_connection->setComMode(m_options.comMode);
    m_connection->setI2CAddress(m_options.i2cAddress);
    m_connection->open(m_options.ip);
    const bool done = waitFor([this] { return m_identified || m_failed; }, m_options.timeoutMs);
    if (m_refused)
        return fail(DeviceRefused, m_refusal);
    if (m_failed) {
        const QString fault = m_connection->lastFault();
        return fail(ConnectionFailed, QStringLiteral("connection to %1 failed (%2)%3")
                                          .arg(m_options.ip, m_status0,
                                               fault.isEmpty() ? QString() : ": " + fault));
    }
    if (!done && m_status3.endsWith(QLatin1String("(ACK)")) && m_options.comMode == 2)
        return fail(TimedOut,
                    QStringLiteral("the gateway at %1 gets no acknowledge from module %2 (%3)")
                        .arg(m_options.ip)
                        .arg(m_options.i2cAddress)
                        .arg(m_status3));
    if (!done)
        return fail(TimedOut, QStringLiteral("no answer from %1 within %2 ms")
                                  .arg(m_options.ip)
                                  .arg(m_options.timeoutMs));
    // Polling reads its live values alongside the full read of the identification.
    if (m_options.command == QLatin1String("poll"))
        return Ok;
    m_connection->setPollingEnabled(false);
    // The identification asks for every readable register: let that finish.
    if (!waitUntilSettled(m_options.timeoutMs) && m_failed)
        return fail(ConnectionFailed,
                    QStringLiteral("connection to %1 lost (%2)").arg(m_options.ip, m_status0));
    if (!m_connection->isSettled())
        return fail(TimedOut, QStringLiteral("the device did not answer every request within %1 ms")
                                  .arg(m_options.timeoutMs));
    return Ok;
}

int CliRunner::run()
{
    if (m_options.command == QLatin1String("view"))
        return FileCommands::view(m_options, m_out, m_err);
    if (RemoteCommands::handles(m_options.command))
        return RemoteCommands::run(m_options.arguments, m_out, m_err);
    if (DiscoveryCommands::handles(m_options.arguments))
        return DiscoveryCommands(m_options.arguments, m_out, m_err).run();
    NetworkCommands::Context network{
        *m_session, *m_connection, m_out, m_err,
        [this](const std::function<bool()> &done, int ms) { return waitFor(done, ms); },
        *m_link, m_options.timeoutMs};
    if (NetworkCommands::runsWithoutIdentification(m_options.command)) {
        if (!QLMCConnection::isValidIpText(m_options.ip))
            return fail(Usage, QStringLiteral("Wrong IP address: %1").arg(m_options.ip));
        if (m_options.port != 0)
            m_connection->setPorts(quint16(m_options.port), quint16(m_options.port));
        return NetworkCommands::run(m_options.command, m_options.arguments, m_options.ip, network);
    }
    const int opened = openAndIdentify();
    if (opened != Ok)
        return opened;
    int result = Ok;
    if (m_options.command == QLatin1String("identify"))
        result = identify();
    else if (m_options.command == QLatin1String("read"))
        result = read();
    else if (m_options.command == QLatin1String("write"))
        result = write();
    else if (m_options.command == QLatin1String("chart"))
        result = chart();
    else if (FileCommands::handles(m_options.command)) {
        FileCommands files({*m_session, *m_connection, m_options, m_out, m_err,
                            [this](const std::function<bool()> &done, int ms) {
                                return waitFor(done, ms);
                            },
                            *m_link, [this] { return m_failed; }});
        m_limitsHook = [&files] { files.limitsReceived(); };
        result = files.run();
        m_limitsHook = nullptr;
    }
    else if (EnhancedCommands::handles(m_options.command))
        result = EnhancedCommands(*m_link, m_connection->profile(), m_out, m_err)
                     .run(m_options.command, m_options.arguments);
    else if (OptionsCommands::handles(m_options.command)) {
        OptionsCommands::Context context{*m_session, m_out, m_err, *m_link};
        result = OptionsCommands::run(m_options.command, m_options.arguments, context);
    }
    else if (FeatureCommands::handles(m_options.command)) {
        FeatureCommands::Context context{
            *m_session, *m_connection, m_options, m_out, m_err, m_tuningStatuses,
            [this](const std::function<bool()> &done, int ms) { return waitFor(done, ms); },
            *m_link, [this](int code, const QString &message) { return fail(code, message); }};
        result = FeatureCommands::run(context);
    }
    else if (NetworkCommands::handles(m_options.command))
        result = NetworkCommands::run(m_options.command, m_options.arguments, m_options.ip, network);
    else
        result = poll();
    if (m_connection->isConnected()) {
        m_connection->closeFromMenu();
        waitFor([this] { return !m_connection->isTcpActive(); }, 1000);
    }
    return result;
}

int CliRunner::identify()
{
    const ModelProfile &profile = m_connection->profile();
    uint32_t version;
    {
        RegisterLockGuard guard(m_session->lock());
        version = m_session->Device.DeviceVersion;
    }
    m_out << "Model: "
          << (profile.modelName.isEmpty() ? QStringLiteral("(unknown)") : profile.modelName)
          << Qt::endl;
    m_out << "Firmware: " << RegisterText::versionText(version) << Qt::endl;
    m_out << profile.caption << Qt::endl;
    return Ok;
}

void CliRunner::printRegister(int address)
{
    RegisterLockGuard guard(m_session->lock());
    const QLMCRegister &reg = *m_session->motor().registerAt(address);
    m_out << "0x" << QString::number(address, 16).rightJustified(2, QLatin1Char('0')).toUpper()
          << ' ' << QString::fromStdString(reg.Name) << " = "
          << RegisterText::value(address, reg.Value) << Qt::endl;
}

int CliRunner::read()
{
    std::vector<int> addresses;
    for (const QString &arg : m_options.arguments) {
        const auto address = RegisterText::parseAddress(arg);
        if (!address || !isRegisterAddress(*address))
            return fail(Usage, QStringLiteral("%1 is not a register address").arg(arg));
        addresses.push_back(*address);
    }
    int result = Ok;
    std::vector<int> readable;
    for (int address : addresses) {
        RegisterLockGuard guard(m_session->lock());
        if (m_session->motor().registerAt(address)->Readable) {
            readable.push_back(address);
        } else {
            m_err << "tarvine-cli: register " << CliLink::addressText(address)
                  << " is not readable on this model" << Qt::endl;
            result = RegisterRefused;
        }
    }
    // Only what this request brought back is printed; the rest is named as
    // missing on standard error.
    const int code = m_link->read(readable);
    for (int address : readable)
        if (m_link->received(address))
            printRegister(address);
    return code != Ok ? code : result;
}

int CliRunner::write()
{
    struct Write
    {
        int address;
        std::vector<uint8_t> bytes; ///< registers over four bytes: their trace form
        int64_t value = 0;
    };
    std::vector<Write> writes;
    for (const QString &arg : m_options.arguments) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const auto address = RegisterText::parseAddress(eq > 0 ? arg.left(eq) : arg);
        if (!address || !isRegisterAddress(*address))
            return fail(Usage,
                        QStringLiteral("%1: expected REG=VALUE with a register address").arg(arg));
        const int size = registerInfo(*address)->size;
        Write w{*address, {}, 0};
        const QString text = arg.mid(eq + 1);
        if (size > 4) {
            // A plain integer would zero-fill the leading bytes: only the exact trace form.
            auto bytes = eq < 0 ? std::nullopt : RegisterText::parseTrace(text, size);
            if (!bytes)
                return fail(RegisterRefused,
                            QStringLiteral("%1: register 0x%2 takes its %3 bytes as [0x.. ..]")
                                .arg(arg, QString::number(*address, 16).toUpper())
                                .arg(size));
            w.bytes = std::move(*bytes);
        } else {
            const auto value = size == 0 && eq < 0 ? std::optional<int64_t>(0)
                                                   : RegisterText::parse(*address, text);
            if (!value)
                return fail(RegisterRefused,
                            QStringLiteral("%1: value does not fit the register").arg(arg));
            w.value = *value;
        }
        bool writable;
        {
            RegisterLockGuard guard(m_session->lock());
            writable = m_session->motor().registerAt(*address)->Writable;
        }
        if (!writable)
            return fail(RegisterRefused,
                        QStringLiteral("register 0x%1 is not writable on this model")
                            .arg(QString::number(*address, 16).toUpper()));
        writes.push_back(std::move(w));
    }
    // What is sent, to be compared with what the device reads back.
    std::vector<std::vector<uint8_t>> sent;
    std::vector<int> addresses;
    m_link->beginWrite();
    {
        RegisterLockGuard guard(m_session->lock());
        for (const Write &w : writes) {
            if (w.bytes.empty())
                m_session->motor().RequestWrite(w.address, w.value);
            else
                m_session->motor().RequestWriteBytes(w.address, w.bytes);
            sent.push_back(m_session->motor().registerAt(w.address)->WriteValue);
            addresses.push_back(w.address);
        }
    }
    if (const int code = m_link->awaitWrite(QStringLiteral("the write")); code != CliLink::Ok)
        return code;
    // Read back what has a value to read; a command register (or one the
    // model does not read) counts as written when its write was answered.
    std::vector<int> readBack;
    {
        RegisterLockGuard guard(m_session->lock());
        for (const Write &w : writes) {
            const QLMCRegister *reg = m_session->motor().registerAt(w.address);
            if (reg->Readable && reg->Size > 0)
                readBack.push_back(w.address);
        }
    }
    const int code = m_link->read(readBack);
    int result = Ok;
    for (size_t i = 0; i < writes.size(); ++i) {
        const int address = writes[i].address;
        if (std::find(readBack.begin(), readBack.end(), address) == readBack.end()) {
            if (m_link->writeAnswered(address)) {
                m_out << CliLink::addressText(address) << " written" << Qt::endl;
            } else {
                m_err << "tarvine-cli: the write of " << CliLink::addressText(address)
                      << " was not answered" << Qt::endl;
                result = TimedOut;
            }
            continue;
        }
        if (!m_link->received(address))
            continue; // named by the read-back
        printRegister(address);
        std::vector<uint8_t> device;
        {
            RegisterLockGuard guard(m_session->lock());
            device = m_session->motor().registerAt(address)->Value;
        }
        // Registers the device changes by itself (warning bits come back while
        // present, the position moves, the tuning state and the inputs follow
        // the device): their read-back is shown, not compared.
        const bool ownValue = address == Reg::Warning || address == Reg::Position
                              || address == Reg::AutoTuning || address == Reg::IoState;
        if (!ownValue && device != sent[i]) {
            m_err << "tarvine-cli: " << CliLink::addressText(address) << " not taken: device "
                  << RegisterText::value(address, device) << ", written "
                  << RegisterText::value(address, sent[i]) << Qt::endl;
            if (result == Ok)
                result = Differs;
        }
    }
    if (code != Ok)
        return code;
    return result;
}

bool CliRunner::reopen()
{
    // A bench script wants its whole run: open again and identify again.
    addToTotals();
    m_session->statistics().clearCounters(); // counted once, even if this open fails
    ++m_totals.reopens;
    m_identified = false;
    m_failed = false;
    QThread::msleep(50);
    m_connection->setComMode(m_options.comMode); // a lost connection left it closed (-1)
    m_connection->open(m_options.ip);
    return waitFor([this] { return m_identified || m_failed; }, m_options.timeoutMs)
           && m_identified;
}

void CliRunner::addToTotals()
{
    const CommStatistics &s = m_session->statistics();
    m_totals.requests += s.readRequestsSent.load() + s.writeRequestsSent.load();
    m_totals.answers += s.answersDecoded.load();
    m_totals.checksumErrors += s.checksumErrors.load();
}

QString CliRunner::statisticsLine()
{
    std::vector<float> times;
    {
        std::lock_guard<std::mutex> guard(m_timesMutex);
        times = m_answerTimes;
    }
    float median = 0.0f;
    float maximum = 0.0f;
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        median = times[times.size() / 2];
        maximum = times.back();
    }
    QString line =
        QStringLiteral("statistics: requests %1, answers %2, lost %3, checksum errors "
                       "%4, answer time median %5 ms, max %6 ms")
            .arg(m_totals.requests)
            .arg(m_totals.answers)
            .arg(m_totals.requests - m_totals.answers)
            .arg(m_totals.checksumErrors)
            .arg(QString::number(double(median), 'f', 3), QString::number(double(maximum), 'f', 3));
    if (m_totals.reopens > 0)
        line += QStringLiteral(", reopened %1").arg(m_totals.reopens);
    return line;
}

std::optional<ReceivedValues> CliRunner::takeCycleValues(std::bitset<RegisterCount> *received)
{
    ReceivedValues v;
    NewValueFlags flags;
    m_session->takeDisplayValues(v, flags, received);
    if (!flags.isRaised(ValueFlag::Position) && !flags.isRaised(ValueFlag::Speed))
        return std::nullopt;
    return v;
}

int CliRunner::poll()
{
    // Runs its whole duration through lost, corrupted, split and merged
    // answers (the sender re-asks what was lost) and reopens a lost connection.
    // With --csv the decoder's recorder writes the lines into the file.
    LiveRecorder recorder(*m_session);
    const bool csv = !m_options.csvFile.isEmpty();
    if (csv) {
        QString error;
        if (!recorder.start(m_options.csvFile, RecordUnits::from(m_connection->profile()), &error))
            return fail(BadFile, error);
    }
    m_session->RefreshRatio = m_options.refreshMs;
    m_connection->setPollingEnabled(true);
    if (!csv)
        m_out << "time_ms position speed desired input mode voltage command temperature current"
              << Qt::endl;
    QElapsedTimer clock;
    clock.start();
    const qint64 end = qint64(m_options.seconds * 1000.0);
    int lines = 0;
    while (clock.elapsed() < end && !(csv && recorder.progress().failed)) {
        m_answer = false;
        waitFor([this] { return m_answer || m_failed; }, 50);
        if (m_failed) {
            if (m_options.verbose)
                m_err << "tarvine-cli: connection lost (" << m_status0 << "), reopening"
                      << Qt::endl;
            reopen();
            if (m_identified)
                m_connection->setPollingEnabled(true);
            continue;
        }
        if (!m_answer || csv)
            continue;
        std::bitset<RegisterCount> received;
        const std::optional<ReceivedValues> cycle = takeCycleValues(&received);
        if (!cycle)
            continue;
        const ReceivedValues &v = *cycle;
        // A value whose register was not received in this connection is "-".
        auto field = [&received](int address, const QString &text) {
            return received.test(size_t(address)) ? text : QStringLiteral("-");
        };
        ++lines;
        m_out << clock.elapsed() << ' ' << field(Reg::Position, QString::number(v.Position)) << ' '
              << field(Reg::Speed, QString::number(v.Speed)) << ' '
              << field(Reg::Desired, QString::number(v.Desired)) << ' '
              << field(Reg::Input, QString::number(v.Input)) << ' '
              << field(Reg::RegulationMode, QString::number(v.RegulationMode)) << ' '
              << field(Reg::Voltage, QString::number(v.Voltage, 'f', 2)) << ' '
              << field(Reg::Command, QString::number(v.Command)) << ' '
              << field(Reg::Temperature, QString::number(v.Temperature, 'f', 1)) << ' '
              << field(Reg::CurrentSense, QString::number(v.CurrentLive, 'f', 3)) << Qt::endl;
    }
    m_connection->setPollingEnabled(false);
    addToTotals();
    m_out << statisticsLine() << Qt::endl;
    if (csv) {
        recorder.stop();
        const LiveRecorder::Progress p = recorder.progress();
        if (p.failed)
            return fail(BadFile, QStringLiteral("recording into %1 stopped after %2 lines: %3")
                                     .arg(m_options.csvFile)
                                     .arg(p.lines)
                                     .arg(p.error));
        m_out << QStringLiteral("recorded %1 lines into %2 (%3 bytes), %4 dropped")
                     .arg(p.lines)
                     .arg(m_options.csvFile)
                     .arg(p.bytes)
                     .arg(p.dropped)
              << Qt::endl;
        lines = int(p.lines);
    }
    if (lines == 0 && m_totals.answers == 0)
        return fail(
            TimedOut,
            QStringLiteral("no answer from %1 for %2 s").arg(m_options.ip).arg(m_options.seconds));
    return Ok;
}
