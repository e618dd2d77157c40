#pragma once

// Playlists a radio address may answer with (PLS, M3U, ASX): when to read a
// response as one, its entries, and how an entry becomes an address.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace audio {

// A playlist body is read up to this size; the rest is ignored.
inline constexpr std::size_t kMaxPlaylistBytes = 64 * 1024;
// Playlists within playlists are followed this deep, no deeper.
inline constexpr int kMaxPlaylistDepth = 4;
// Entries tried in all, over every level, before opening gives up.
inline constexpr int kMaxPlaylistAttempts = 16;

// Whether a response of `media_type` (see MediaType) from `url` is to be
// read as a playlist rather than played.
bool LooksLikePlaylist(std::string_view media_type, std::string_view url);

// The entries of a PLS ("[playlist]", FileN= in N order), ASX (<ref href>
// and <entryref href>) or M3U (every line that is not a comment) text, in
// order and unresolved. HLS (#EXT-X- tags) and entries holding control
// characters give nothing. Lines may end in CR LF, LF or CR.
std::vector<std::string> ParsePlaylist(std::string_view text);

// `entry` resolved against the playlist's own address; nullopt unless the
// result is an http or https URL.
std::optional<std::string> ResolveEntry(std::string_view base_url, std::string_view entry);

} // namespace audio
