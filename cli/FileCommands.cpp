// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/FileCommands.h"

#include "device/RegisterRules.h"
#include "cli/CliContext.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"

#include "device/QLMCSession.h"
#include "device/RegisterNames.h"
#include "device/RegisterText.h"
#include "files/ParameterApply.h"
#include "files/ParameterFile.h"
#include "link/QLMCConnection.h"

#include <set>

using namespace CliExit;

namespace {

const QString OldVersionText =
    QStringLiteral("Load an old file version. The save method will create the new file version.");

} // namespace

int FileCommands::view(CliContext &c)
{
    QTextStream &out = c.out;
    const QString path = c.options.positional().value(0);
    const ParameterFileContent content = ParameterFile::readPath(path);
    if (!content.ok())
        return c.fail(BadFile, content.error);
    // Shown as if a controller had answered with the file's values.
    QLMCSession session;
    ParameterApply::apply(session, content, false);
    RegisterLockGuard guard(session.lock());
    for (const FileEntry &entry : content.entries) {
        const QLMCRegister &reg = *session.motor().registerAt(entry.address);
        out << CliLink::addressText(entry.address) << ' ' << QString::fromStdString(reg.Name) << " = "
            << (reg.Size == 0 ? QStringLiteral("(command)")
                              : RegisterText::value(entry.address, reg.Value));
        if (entry.zeroed)
            out << " (zeroed: the file has no feed-forward terms)";
        out << Qt::endl;
    }
    if (content.result == 1)
        c.err << "tarvine-cli: " << OldVersionText << Qt::endl;
    return Ok;
}

FileCommands::FileCommands(CliContext &context)
    : m_c(context)
    , m_file(context.options.positional().value(0))
{}

FileCommands::~FileCommands() = default;

int FileCommands::fail(int code, const QString &message)
{
    return m_c.fail(code, message);
}

int FileCommands::run(CliContext &context)
{
    FileCommands files(context);
    // The runner's listener hands 0x5B over to a save waiting for it.
    context.events.limitsArrived = [&files] { files.limitsReceived(); };
    const QString &command = context.options.command;
    const int code = command == QLatin1String("save")   ? files.save()
                     : command == QLatin1String("send") ? files.send()
                                                        : files.diff();
    context.events.limitsArrived = nullptr;
    return code;
}

void FileCommands::limitsReceived()
{
    if (m_save)
        m_save->limitsReceived();
}

void FileCommands::saveStatus(const QString &text)
{
    if (m_c.options.verbose)
        m_c.err << text << Qt::endl;
}

void FileCommands::saveEnded(bool written, const QString &failure)
{
    m_saveEnded = true;
    m_saveWritten = written;
    m_saveFailure = failure;
}

int FileCommands::save()
{
    SaveGroups groups = SaveGroups::all();
    const QString keys = CliArguments::value(m_c.arguments(), QStringLiteral("--groups"));
    if (!keys.isEmpty()) {
        groups = SaveGroups::none();
        for (const QString &key : keys.split(QLatin1Char(','), Qt::SkipEmptyParts))
            groups.set(*saveGroupFromKey(key.trimmed()), true); // checked at parsing
    }
    m_save = std::make_unique<ParameterSave>(m_c.session, *this);
    m_save->setGroupsProvider([groups] { return groups; });
    connect(&m_c.connection, &QLMCConnection::connectedStateChanged, m_save.get(),
            [this](bool connected) {
                if (!connected)
                    m_save->connectionClosed();
            });
    m_saveEnded = false;
    m_save->start(m_file, m_c.connection.isConnected());
    m_c.waitFor(
        [this] {
            if (m_c.link.lost() && m_save->SavePending())
                m_save->connectionClosed();
            return m_saveEnded;
        },
        ParameterSave::TimeoutMs + 5000);
    if (!m_saveEnded)
        return fail(Unanswered, QStringLiteral("the save did not end"));
    if (!m_saveWritten) {
        // Nothing is written without every saved register answered.
        if (m_c.link.lost())
            return fail(LinkLost, QStringLiteral("connection to %1 lost: ").arg(m_c.options.ip)
                                      + m_saveFailure);
        return fail(m_saveFailure.contains(QLatin1String("no answer")) ? Unanswered : BadFile,
                    m_saveFailure);
    }
    m_c.out << "saved " << m_save->SaveFileName() << Qt::endl;
    return Ok;
}

int FileCommands::readBack(const ParameterFileContent &content)
{
    // A fresh copy, from this connection, of every value the file names.
    std::vector<int> addresses;
    for (const FileEntry &entry : content.entries)
        if (entry.size > 0)
            addresses.push_back(entry.address);
    return m_c.link.read(addresses);
}

int FileCommands::diff()
{
    const ParameterFileContent content = ParameterFile::readPath(m_file);
    if (!content.ok())
        return fail(BadFile, content.error);
    const bool json = CliArguments::has(m_c.arguments(), QStringLiteral("--json"));
    const uint64_t mark = m_c.session.answerSequence();
    const int code = readBack(content);
    int differences = 0;
    for (const CompareRow &row : ParameterCompare::compare(m_c.session, content, mark)) {
        if (!row.different)
            continue;
        ++differences;
        if (json) {
            QJsonObject o = CliJson::registerFields(row.address);
            o.insert(QStringLiteral("device"), row.deviceText);
            o.insert(QStringLiteral("file"), row.fileText);
            o.insert(QStringLiteral("device_raw"), row.deviceHex);
            o.insert(QStringLiteral("file_raw"), row.fileHex);
            o.insert(QStringLiteral("notes"), row.notes());
            m_c.out << CliJson::line(o) << Qt::endl;
        } else {
            m_c.out << ParameterCompare::differenceLine(row) << Qt::endl;
        }
    }
    // An incomplete read-back is no comparison: "no difference" is never
    // said of a value that did not come.
    if (code != Ok)
        return code;
    return differences > 0 ? Differs : Ok;
}

int FileCommands::send()
{
    const ParameterFileContent content = ParameterFile::readPath(m_file);
    if (!content.ok())
        return fail(BadFile, content.error);
    std::set<int> only;
    const QString onlyText = CliArguments::value(m_c.arguments(), QStringLiteral("--only"));
    for (const QString &text : onlyText.split(QLatin1Char(','), Qt::SkipEmptyParts))
        only.insert(*RegisterNames::parse(text.trimmed())); // checked at parsing
    for (int address : only) {
        bool inFile = false;
        for (const FileEntry &entry : content.entries)
            inFile |= entry.address == address;
        if (!inFile)
            return fail(Usage, QStringLiteral("register %1 is not in the file").arg(CliLink::addressText(address)));
    }
    m_c.link.beginWrite();
    ApplyOptions options;
    options.withIdentity = CliArguments::has(m_c.arguments(), QStringLiteral("--with-identity"));
    options.force = CliArguments::has(m_c.arguments(), QStringLiteral("--force"));
    options.allOrNothing = true;
    const ApplyResult applied = ParameterApply::apply(
        m_c.session, content, true,
        [&only](const FileEntry &entry) { return only.empty() || only.count(entry.address); },
        options);
    if (!applied.refused.empty())
        return fail(ValueRefused, applied.refused.front().reason);
    for (int address : applied.kept)
        m_c.out << "kept the controller's " << RegisterRules::registerLabel(address)
                << " (--with-identity sends the file's)" << Qt::endl;
    // The sender reads every register back after the last write packet.
    m_c.session.ReadBackAfterSend = !applied.requested.empty();
    if (const int code = m_c.link.awaitWrite(QStringLiteral("the writes")); code != Ok)
        return code;
    // 0x64 is not part of that read-back; nor is anything when no write went out.
    m_c.session.ReadBackAfterSend = false;
    const uint64_t mark = m_c.session.answerSequence();
    const int code = readBack(content);
    int refused = 0;
    int unanswered = 0;
    const std::set<int> sent(applied.requested.begin(), applied.requested.end());
    for (const CompareRow &row : ParameterCompare::compare(m_c.session, content, mark)) {
        if (!sent.count(row.address))
            continue;
        if (!row.readable || row.command) {
            // Nothing to read back: only the answer to its write tells it arrived.
            if (!m_c.link.writeAnswered(row.address)) {
                ++unanswered;
                m_c.err << "tarvine-cli: the write of " << CliLink::addressText(row.address)
                        << " was not answered" << Qt::endl;
            }
            continue;
        }
        if (!row.different)
            continue;
        ++refused;
        m_c.out << CliLink::addressText(row.address) << ' ' << row.name << " not taken: device "
                << row.deviceText << ", file " << row.fileText << Qt::endl;
    }
    // "sent" only when the device answered every register it was sent.
    if (code != Ok)
        return code;
    if (unanswered > 0)
        return Unanswered;
    m_c.out << "sent " << applied.requested.size() << " registers";
    if (applied.requested.size() < size_t(applied.names.size()))
        m_c.out << " (" << size_t(applied.names.size()) - applied.requested.size()
                << " not writable on this model)";
    m_c.out << Qt::endl;
    if (content.result == 1)
        m_c.err << "tarvine-cli: " << OldVersionText << Qt::endl;
    return refused > 0 ? Differs : Ok;
}

namespace {

QString checkSave(const CliOptions &options)
{
    const QString keys = CliArguments::value(options.arguments, QStringLiteral("--groups"));
    for (const QString &key : keys.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!saveGroupFromKey(key.trimmed()))
            return QStringLiteral("unknown group %1 (communication, global, regulation, homing, "
                                  "limit1, limit2, loops)")
                .arg(key);
    return {};
}

QString checkSend(const CliOptions &options)
{
    const QString registers = CliArguments::value(options.arguments, QStringLiteral("--only"));
    for (const QString &text : registers.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!RegisterNames::parse(text.trimmed()))
            return QStringLiteral("%1 is not a register address or name").arg(text);
    return {};
}

} // namespace

const CliCommand FileCommands::Save{
    "save", "save FILE [--groups G,...]",
    "save the registers to a .qmc parameter file (groups: communication, global, regulation, "
    "homing, limit1, limit2, loops; default all)",
    CliNeeds::Device, &FileCommands::run, &checkSave,
    "6 FILE not written (nothing is written unless every saved register answered)"};
const CliCommand FileCommands::View{"view", "view FILE", "list the registers of a parameter file",
                                    CliNeeds::Nothing, &FileCommands::view, nullptr,
                                    "6 a bad or unreadable file"};
const CliCommand FileCommands::Send{
    "send", "send FILE [--only REG,...] [--with-identity] [--force]",
    "send a parameter file and verify the read-back (--only: those registers, by address or "
    "name); the controller keeps its 0x12 address and 0x15 name unless --with-identity; the "
    "model's rules refuse a value (--force, unsafe, skips them)",
    CliNeeds::Device, &FileCommands::run, &checkSend,
    "5 a value the model's rules refuse (nothing is sent), 6 a bad or unreadable file, 7 "
    "registers the device did not take"};
const CliCommand FileCommands::Diff{
    "diff", "diff FILE [--json]", "list the registers that differ from the file",
    CliNeeds::Device, &FileCommands::run, nullptr, "6 a bad or unreadable file, 7 registers differ",
    "address: register address (number); name: register name; device: the device's value as "
    "text; file: the file's value as text; device_raw: the device's bytes (0x and two hex "
    "digits per byte); file_raw: the file's bytes; notes: the comparison's notes (may be "
    "empty)"};
