// Hand-over of an object from one thread to another through Qt's event queue.
//
// Qt's queue orders a posted event before its delivery with locks that ThreadSanitizer cannot
// see, because Qt is not built with it: the posting thread's writes to the event and the
// receiving thread's reads of it would look unordered. The poster marks the event released just
// before it posts it, and the receiver marks it acquired before it reads it, so that the order
// Qt already guarantees is visible to ThreadSanitizer as well. In other builds both are empty.
#pragma once

class QEvent;
class QObject;

// Posts `event` to `receiver` (any thread); Qt owns the event from then on.
void PostHandoffEvent(QObject* receiver, QEvent* event);

// Called on the receiving thread before the event's contents are read or it is destroyed.
void AcceptHandoffEvent(const QEvent* event);
