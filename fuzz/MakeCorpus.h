// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The seed corpus generator: one writer, and the seeds of each family of
// fuzz targets (wire: frames and datagrams; files; typed texts and values).

#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QLMCSession;
class SimController;
struct SimModel;

/// Writes seeds as <folder>/<target>/<name>.
class CorpusWriter
{
public:
    explicit CorpusWriter(std::filesystem::path folder);

    void write(const std::string &target, const std::string &name,
               const std::vector<uint8_t> &bytes);
    void write(const std::string &target, const std::string &name, const QByteArray &bytes);
    int count() const { return m_count; }

private:
    std::filesystem::path m_folder;
    int m_count = 0;
};

/// A virtual controller playing \a model on a manual clock, so that every run
/// writes the same seeds.
std::shared_ptr<SimController> makeController(const SimModel &model);
std::shared_ptr<SimController> makeController(const std::string &model);

/// Real answers and requests of the tool and the virtual controller, on every
/// transport: fuzz_answer, fuzz_datagram, fuzz_discovery, fuzz_sim_request.
void writeWireSeeds(CorpusWriter &out);

/// A session identified as \a model (a preset name) that has read every
/// readable register from a virtual controller over TCP.
void fillSessionFromVirtualController(QLMCSession &session, const std::string &model);

/// Parameter files written from a virtual controller's registers, the remote's
/// settings file in its encodings and a routing table: fuzz_parameter_file,
/// fuzz_remote_settings, fuzz_route_table. \a sourceDir holds docs/.
void writeFileSeeds(CorpusWriter &out, const std::filesystem::path &sourceDir);

/// Register values of every model and the texts the windows show for them:
/// fuzz_identify, fuzz_register_text, fuzz_feature_text, fuzz_edit_text,
/// fuzz_enhanced_cmd.
void writeTextSeeds(CorpusWriter &out);
