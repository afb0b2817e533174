#pragma once

// Shared with the app: the generator leaves this mark beside the input-data
// file once it holds the file's bytes, so the app knows it may delete it.
namespace keldar::generator {

inline constexpr char InputFileName[] = "Input_data_KELDAR.TXT";
inline constexpr char ReadMarkSuffix[] = ".read";

} // namespace keldar::generator
