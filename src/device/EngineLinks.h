// The links an engine can use, and how they are made: a serial port or the USB cable by
// default; a test gives a factory of its own.
#pragma once

#include "link/Link.h"

#include <functional>
#include <memory>

enum class LinkKind { Serial, Usb };
using LinkFactory = std::function<std::unique_ptr<ILink>(LinkKind kind, ILinkEvents& events)>;

std::unique_ptr<ILink> MakeDefaultLink(LinkKind kind, ILinkEvents& events);
