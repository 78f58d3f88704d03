#pragma once
#include "engine/cycle/poll_cycle.h"        // fine
#include "shaping/window_shaper.h"       // fine
#include <QtCore/QString>             // broken: Qt
#include "platform/qt/qt_color.h"     // broken: a backend
