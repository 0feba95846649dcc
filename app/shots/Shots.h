// Screenshots of every window for review (scripts/screenshots.sh). Each
// function opens its windows with sample data in the language in force and
// writes one PNG per window into `outDir`, named "<window>-<suffix>.png"
// (suffix "en" or "zh"). `home` is a program folder holding sample jobs.
#pragma once

#include <QString>

class QWidget;

namespace kv {

// How ShootWindow leaves a window: closed (a dialog rejects), or only hidden,
// for windows whose closing would ask the user something.
enum class TShotEnd { Close, Hide };

// Shows `window`, lets it lay itself out, writes "<name>-<suffix>.png" into
// `outDir` and then closes or hides it as `end` says.
void ShootWindow(QWidget& window, const QString& outDir, const QString& name, const QString& suffix,
                 TShotEnd end = TShotEnd::Close);

void ShootDialogs(const QString& outDir, const QString& suffix, const QString& home);
void ShootDataSetDialogs(const QString& outDir, const QString& suffix, const QString& home);
void ShootMainWindow(const QString& outDir, const QString& suffix, const QString& home);
void ShootLinkDialogs(const QString& outDir, const QString& suffix, const QString& home);
void ShootMaping(const QString& outDir, const QString& suffix, const QString& home);
void ShootDebugWindows(const QString& outDir, const QString& suffix, const QString& home);
void ShootStartup(const QString& outDir, const QString& suffix, const QString& home);

}  // namespace kv
