// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Seeds from files and typed texts: parameter files and the remote's settings
// file as the tool reads them, a routing table in the kernel's format, and the
// values and texts the windows show for a virtual controller's registers.
#include "fuzz/MakeCorpus.h"

#include "device/DeviceIdentity.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "device/RegisterText.h"
#include "features/OptionRegisters.h"
#include "files/ParameterFile.h"
#include "platform/Cp1252.h"
#include "sim/SimController.h"
#include "sim/SimModel.h"

#include <QFile>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> bytesOf(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return std::vector<uint8_t>(utf8.begin(), utf8.end());
}

std::vector<uint8_t> cat(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string hexName(int address)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", address);
    return text;
}

std::vector<uint8_t> registerBytes(SimController &device, int address)
{
    std::vector<uint8_t> bytes;
    device.readRegister(address, bytes);
    return bytes;
}

int32_t s32(const std::vector<uint8_t> &b)
{
    return int32_t((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]);
}

void writeParameterFiles(CorpusWriter &out)
{
    for (const char *model : {"NETEC-A", "BUSST-A"}) {
        QLMCSession session;
        fillSessionFromVirtualController(session, model);
        const std::string name = QString::fromLatin1(model).toLower().toStdString();
        out.write("fuzz_parameter_file", name + "-all.qmc",
                  ParameterFile::compose(ParameterFile::takeSnapshot(session, SaveGroups::all()))
                      .toBytes());
        for (int group = 0; group < SaveGroupCount; ++group)
            out.write("fuzz_parameter_file", name + "-group-" + std::to_string(group) + ".qmc",
                      ParameterFile::compose(
                          ParameterFile::takeSnapshot(session, SaveGroups{uint8_t(1u << group)}))
                          .toBytes());
    }
}

void writeRemoteSettings(CorpusWriter &out, const std::filesystem::path &sourceDir)
{
    QFile file(QString::fromStdString((sourceDir / "docs" / "KRVRemote.example.ini").string()));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "make_fuzz_corpus: cannot read %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    const QByteArray utf8 = file.readAll();
    const QString text = QString::fromUtf8(utf8);
    out.write("fuzz_remote_settings", "example.ini", utf8);
    out.write("fuzz_remote_settings", "example-bom.ini", QByteArray("\xEF\xBB\xBF") + utf8);
    out.write("fuzz_remote_settings", "example-cp1252.ini", Cp1252::fromUnicode(text));
    QByteArray wide("\xFF\xFE", 2);
    for (const QChar c : text)
        wide.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    out.write("fuzz_remote_settings", "example-utf16.ini", wide);
}

/// /proc/net/route as the kernel writes it: addresses in hexadecimal, host byte order.
void writeRouteTable(CorpusWriter &out)
{
    struct Route
    {
        const char *interface;
        std::array<uint8_t, 4> destination, gateway, mask;
        int flags, metric;
    };
    const SimIdentity device;
    const Route routes[] = {
        {"eth0", {0, 0, 0, 0}, {192, 168, 1, 1}, {0, 0, 0, 0}, 0x0003, 100},
        {"eth0", {192, 168, 1, 0}, {0, 0, 0, 0}, {255, 255, 255, 0}, 0x0001, 100},
        {"vnet0",
         {uint8_t(device.ip[0] & device.mask[0]), 0, 0, 0},
         {0, 0, 0, 0},
         device.mask,
         0x0001,
         0},
    };
    const auto hex = [](const std::array<uint8_t, 4> &a) {
        char text[12];
        std::snprintf(text, sizeof text, "%08X",
                      unsigned(a[0] | a[1] << 8 | a[2] << 16 | unsigned(a[3]) << 24));
        return std::string(text);
    };
    std::string table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    for (const Route &r : routes) {
        char flags[8];
        std::snprintf(flags, sizeof flags, "%04X", r.flags);
        table += std::string(r.interface) + '\t' + hex(r.destination) + '\t' + hex(r.gateway) + '\t'
                 + flags + "\t0\t0\t" + std::to_string(r.metric) + '\t' + hex(r.mask)
                 + "\t0\t0\t0\n";
    }
    out.write("fuzz_route_table", "route.txt", std::vector<uint8_t>(table.begin(), table.end()));
}

/// fuzz_identify: Type and Version of every model, then the About window's
/// six display-test fields for them.
void writeIdentifySeeds(CorpusWriter &out)
{
    for (const SimModel &model : simModelPresets()) {
        const std::shared_ptr<SimController> device = makeController(model);
        std::vector<uint8_t> seed =
            cat(registerBytes(*device, Reg::Type), registerBytes(*device, Reg::Version));
        const uint32_t type = model.typeRegister();
        const uint32_t fields[] = {type >> 16,
                                   type & 0xFFFF,
                                   model.version >> 24,
                                   (model.version >> 16) & 0xFF,
                                   (model.version >> 8) & 0xFF,
                                   model.version & 0xFF};
        for (const uint32_t field : fields) {
            const std::string text = std::to_string(field);
            seed.push_back(uint8_t(text.size()));
            seed.insert(seed.end(), text.begin(), text.end());
        }
        out.write("fuzz_identify", model.name + ".bin", seed);
    }
}

/// fuzz_register_text: address, value size, the register's bytes, then the
/// text the tool shows for them; for every register a controller answers.
void writeRegisterTextSeeds(CorpusWriter &out)
{
    const std::shared_ptr<SimController> device = makeController("NETEC-A");
    for (int address = 0; address < RegisterCount; ++address) {
        const std::vector<uint8_t> bytes = registerBytes(*device, address);
        if (bytes.empty() || bytes.size() > 32)
            continue;
        const std::vector<uint8_t> seed = cat(cat({uint8_t(address), uint8_t(bytes.size())}, bytes),
                                              bytesOf(RegisterText::value(address, bytes)));
        out.write("fuzz_register_text", "reg-" + hexName(address) + ".bin", seed);
    }
    // Texts typed into the register edit: hexadecimal, negative and the trace form.
    const std::pair<int, const char *> typed[] = {{Reg::Input, "0x3E8"},
                                                  {Reg::Input, "-0x10"},
                                                  {Reg::Input, "-1000"},
                                                  {Reg::EthernetMac, "[0x00 50 C2 00 00 01]"},
                                                  {Reg::Kp, "1.5"}};
    int n = 0;
    for (const auto &[address, text] : typed)
        out.write("fuzz_register_text", "typed-" + std::to_string(n++) + ".bin",
                  cat({uint8_t(address), 0}, bytesOf(QString::fromLatin1(text))));
}

/// fuzz_feature_text and fuzz_edit_text: the texts the options, homing and
/// auto-tuning edits show for a controller's values.
void writeEditTextSeeds(CorpusWriter &out)
{
    const std::shared_ptr<SimController> device = makeController("NETEC-A");
    const ModelProfile profile =
        identifyDevice(device->model().typeRegister(), device->model().version);
    const int32_t maxPeak = profile.maxPeakCurrent;
    const std::vector<uint8_t> peak{uint8_t(maxPeak >> 24), uint8_t(maxPeak >> 16),
                                    uint8_t(maxPeak >> 8), uint8_t(maxPeak)};
    const QString current =
        OptionRegisters::currentText(s32(registerBytes(*device, Reg::CurrentMax)));
    const std::vector<uint8_t> standby = registerBytes(*device, Reg::StandbyTimer);
    const QString standbyText = QString::number((standby[0] << 8) | standby[1]);
    const QString inputMin = QString::number(s32(registerBytes(*device, Reg::InputMin)));
    out.write("fuzz_feature_text", "current.bin", cat(peak, bytesOf(current)));
    out.write("fuzz_feature_text", "current-long.bin",
              cat(peak, bytesOf(current + QStringLiteral("123"))));
    out.write("fuzz_feature_text", "standby.bin", cat(peak, bytesOf(standbyText)));
    out.write("fuzz_feature_text", "input-min.bin", cat(peak, bytesOf(inputMin)));

    out.write("fuzz_edit_text", "current.txt", bytesOf(current));
    out.write("fuzz_edit_text", "homing-position.txt",
              bytesOf(QString::number(s32(registerBytes(*device, Reg::HomingPosition)))));
    out.write("fuzz_edit_text", "negative.txt", bytesOf(QStringLiteral("-2147483648")));
}

/// fuzz_enhanced_cmd: an action byte, the controller's 0x4D, 0x4E and 0x4F
/// values, then the window's edits in the target's text coding.
void writeEnhancedSeeds(CorpusWriter &out)
{
    const std::shared_ptr<SimController> device = makeController("NETEC-A");
    const auto text = [](const std::string &t) {
        static const std::string common = "0123456789-.,+ e";
        std::vector<uint8_t> coded{uint8_t(t.size())};
        for (const char c : t)
            coded.push_back(uint8_t(common.find(c)));
        return coded;
    };
    std::vector<uint8_t> values;
    for (const int address : {Reg::EnhancedInput, Reg::LoopsConfig, Reg::EnhancedParams})
        values = cat(values, registerBytes(*device, address));
    const char *const edits[][8] = {{"1234", "3", "1000", "1", "1", "2", "100", "50"},
                                    {"-5000", "99", "200", "3", "4", "1.5", "0", "12.5"}};
    int n = 0;
    for (const auto &fields : edits) {
        std::vector<uint8_t> seed = cat({uint8_t(n * 0x0B)}, values);
        for (const char *field : fields)
            seed = cat(seed, text(field));
        out.write("fuzz_enhanced_cmd", "edits-" + std::to_string(n++) + ".bin", seed);
    }
}

/// fuzz_hosts_file: a hosts file with comments, blank lines, modules, a
/// repeated target and a CR-LF line; and one with a bad line.
void writeHostsFiles(CorpusWriter &out)
{
    const QByteArray good = "# machine 1\n127.0.29.1\n  127.0.29.2:17  \n\n127.0.29.1\n"
                            "127.000.029.3\r\n10.0.0.255:127\n";
    out.write("fuzz_hosts_file", "hosts.txt", good);
    out.write("fuzz_hosts_file", "hosts-bad.txt", QByteArray("127.0.29.1\n127.0.29.300:0\n"));
}

} // namespace

void writeFileSeeds(CorpusWriter &out, const std::filesystem::path &sourceDir)
{
    writeParameterFiles(out);
    writeRemoteSettings(out, sourceDir);
    writeRouteTable(out);
    writeHostsFiles(out);
}

void writeTextSeeds(CorpusWriter &out)
{
    writeIdentifySeeds(out);
    writeRegisterTextSeeds(out);
    writeEditTextSeeds(out);
    writeEnhancedSeeds(out);
}
