# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# End-to-end pairs per second against the in-process virtual controller.
tarvine_add_bench(bench_sim SOURCES SimPingPongBench.cpp LIBS tarvine_sim)
