#pragma once

// The station's title out of the ICY metadata text a stream sends
// ("StreamTitle='Artist - Song';StreamUrl='';"). Pure function, any thread.

#include <QString>

namespace desktop {

// The value of StreamTitle (key matched without regard to case), "" when the
// text has none. A quote inside the title ("Don't Stop") stays: the value
// ends at the "';" that is followed by the next key or by the end of the
// text; without a closing "';" the value runs to the end of the text, less a
// final quote. Blanks and the NUL padding of the metadata block around the
// value are dropped.
QString StreamTitle(const QString &metadata);

} // namespace desktop
