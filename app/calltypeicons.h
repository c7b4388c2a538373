#pragma once
#include <QIcon>
#include <QList>
#include <QPixmap>

// The pictures of the call list, drawn here so that they scale cleanly: one per
// call type code (index = code - 1: undetermined, outgoing, incoming,
// unsuccessful, missed, and an empty one), the program's own icon and the two
// command pictures of the main window.
enum TCallTypeIcon { ctiUndetermined = 0, ctiOutgoing, ctiIncoming, ctiUnsuccessful, ctiMissed, ctiEmpty };
constexpr int kCallTypeIconCount = 6;

// One picture of the list, side by side pixels.
QPixmap CallTypePixmap(int index, int size);
// The six icons at 16, 32 and 64 pixels.
QList<QIcon> CallTypeImageList();

// The application icon: a telephone with a red recording dot.
QIcon ApplicationIcon();
// A play triangle and a disk, for the play and save commands.
QIcon PlayIcon();
QIcon SaveIcon();
