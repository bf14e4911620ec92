#include "cli/FileCommands.h"

#include "cli/CliLink.h"

#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "files/ParameterApply.h"
#include "files/ParameterFile.h"
#include "link/QLMCConnection.h"

#include <set>

namespace {

const QString OldVersionText =
    QStringLiteral("Load an old file version. The save method will create the new file version.");

QString oneLine(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String(" "));
}

QString addressText(int address)
{
    return QStringLiteral("0x") + QString::number(address, 16).toUpper().rightJustified(2, '0');
}

} // namespace

bool FileCommands::handles(const QString &command)
{
    return command == QLatin1String("save") || command == QLatin1String("send")
           || command == QLatin1String("diff");
}

int FileCommands::view(const CliOptions &options, QTextStream &out, QTextStream &err)
{
    const QString path = options.arguments.value(0);
    const ParameterFileContent content = ParameterFile::readPath(path);
    if (!content.ok()) {
        err << "tarvine-cli: " << oneLine(content.error) << Qt::endl;
        return BadFile;
    }
    // Shown as if a controller had answered with the file's values.
    QLMCSession session;
    ParameterApply::apply(session, content, false);
    RegisterLockGuard guard(session.lock());
    for (const FileEntry &entry : content.entries) {
        const QLMCRegister &reg = *session.motor().registerAt(entry.address);
        out << addressText(entry.address) << ' ' << QString::fromStdString(reg.Name) << " = "
            << (reg.Size == 0 ? QStringLiteral("(command)")
                              : RegisterText::value(entry.address, reg.Value));
        if (entry.zeroed)
            out << " (zeroed: the file has no feed-forward terms)";
        out << Qt::endl;
    }
    if (content.result == 1)
        err << "tarvine-cli: " << OldVersionText << Qt::endl;
    return 0;
}

FileCommands::FileCommands(Context context)
    : m_c(std::move(context))
{}

FileCommands::~FileCommands() = default;

int FileCommands::fail(int code, const QString &message)
{
    m_c.err << "tarvine-cli: " << oneLine(message) << Qt::endl;
    return code;
}

int FileCommands::run()
{
    const QString &command = m_c.options.command;
    if (command == QLatin1String("save"))
        return save();
    if (command == QLatin1String("send"))
        return send();
    return diff();
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
    if (!m_c.options.groups.isEmpty()) {
        groups = SaveGroups::none();
        for (const QString &key : m_c.options.groups.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto group = saveGroupFromKey(key.trimmed());
            if (!group)
                return fail(1, QStringLiteral("unknown group %1 (communication, global, "
                                              "regulation, homing, limit1, limit2, loops)")
                                   .arg(key));
            groups.set(*group, true);
        }
    }
    m_save = std::make_unique<ParameterSave>(m_c.session, *this);
    m_save->setGroupsProvider([groups] { return groups; });
    connect(&m_c.connection, &QLMCConnection::connectedStateChanged, m_save.get(),
            [this](bool connected) {
                if (!connected)
                    m_save->connectionClosed();
            });
    m_saveEnded = false;
    m_save->start(m_c.options.arguments.value(0), m_c.connection.isConnected());
    m_c.waitFor(
        [this] {
            if (m_c.failed() && m_save->SavePending())
                m_save->connectionClosed();
            return m_saveEnded;
        },
        ParameterSave::TimeoutMs + 5000);
    if (!m_saveEnded)
        return fail(Unanswered, QStringLiteral("the save did not end"));
    if (!m_saveWritten) {
        // Nothing is written without every saved register answered.
        if (m_c.failed())
            return fail(LinkLost, QStringLiteral("connection to %1 lost: ").arg(m_c.options.ip)
                                      + m_saveFailure);
        return fail(m_saveFailure.contains(QLatin1String("no answer")) ? Unanswered : BadFile,
                    m_saveFailure);
    }
    m_c.out << "saved " << m_save->SaveFileName() << Qt::endl;
    return 0;
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
    const ParameterFileContent content = ParameterFile::readPath(m_c.options.arguments.value(0));
    if (!content.ok())
        return fail(BadFile, content.error);
    const uint64_t mark = m_c.session.answerSequence();
    const int code = readBack(content);
    int differences = 0;
    for (const CompareRow &row : ParameterCompare::compare(m_c.session, content, mark)) {
        if (!row.different)
            continue;
        ++differences;
        m_c.out << ParameterCompare::differenceLine(row) << Qt::endl;
    }
    // An incomplete read-back is no comparison: "no difference" is never
    // said of a value that did not come.
    if (code != 0)
        return code;
    return differences > 0 ? Differs : 0;
}

int FileCommands::send()
{
    const ParameterFileContent content = ParameterFile::readPath(m_c.options.arguments.value(0));
    if (!content.ok())
        return fail(BadFile, content.error);
    std::set<int> only;
    for (const QString &text : m_c.options.only.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto address = RegisterText::parseAddress(text.trimmed());
        if (!address)
            return fail(1, QStringLiteral("%1 is not a register address").arg(text));
        only.insert(*address);
    }
    for (int address : only) {
        bool inFile = false;
        for (const FileEntry &entry : content.entries)
            inFile |= entry.address == address;
        if (!inFile)
            return fail(1, QStringLiteral("register %1 is not in the file").arg(addressText(address)));
    }
    m_c.link.beginWrite();
    const ApplyResult applied = ParameterApply::apply(
        m_c.session, content, true,
        [&only](const FileEntry &entry) { return only.empty() || only.count(entry.address); });
    // The sender reads every register back after the last write packet.
    m_c.session.ReadBackAfterSend = !applied.requested.empty();
    if (const int code = m_c.link.awaitWrite(QStringLiteral("the writes")); code != 0)
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
                m_c.err << "tarvine-cli: the write of " << addressText(row.address)
                        << " was not answered" << Qt::endl;
            }
            continue;
        }
        if (!row.different)
            continue;
        ++refused;
        m_c.out << addressText(row.address) << ' ' << row.name << " not taken: device "
                << row.deviceText << ", file " << row.fileText << Qt::endl;
    }
    // "sent" only when the device answered every register it was sent.
    if (code != 0)
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
    return refused > 0 ? Differs : 0;
}
