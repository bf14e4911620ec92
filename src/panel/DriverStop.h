// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class ConsignModel;
class QLMCSession;
class TThreadInputTimer;

/// The STOP at hand, one call for every way a window stops the motor (the
/// STOP button, Esc in any window, the wavelength remote's STOP):
/// - "Driver Stop" (0x20 = 0) goes out as the sender's next packet, ahead of
///   the poll and every pending request, and cuts an answer wait short once
///   its answer is late (QLMCSession::requestDriverStop);
/// - the consign auto change is switched to "No" in the model and its thread
///   is suspended, so no tick writes a consign afterwards; the windows only
///   show it (the input group checks `RBAutoChangeNo` without its click);
/// - ModeSync is turned off as a mode click does: the first mode answer after
///   the STOP may still carry the mode of a read already under way.
///
/// Any thread; never call it while holding the RegisterLock (the consign
/// model's rule). Returns false when no connection is open: nothing is sent,
/// the auto change is switched off all the same.
bool driverStop(QLMCSession &session, ConsignModel &consign, TThreadInputTimer &autoChange);
