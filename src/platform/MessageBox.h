#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace platform {

// The application title, every message box's caption.
inline const QString applicationTitle = QStringLiteral("prjMivora");

enum class MessageIcon { None, Critical, Warning, Information };

// A message box with an OK button only and the application title. Blocks until closed.
void MsgBox(const QString& text, MessageIcon icon = MessageIcon::None, QWidget* parent = nullptr);

// Tests replace the real box with a recorder; returns the previous handler (empty = real box).
using MessageBoxHandler = std::function<void(const QString& text, MessageIcon icon)>;
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

} // namespace platform
