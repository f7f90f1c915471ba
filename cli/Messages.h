#pragma once
// How an update ends, in the words the window uses too.

namespace cli {

inline constexpr char kNotConnected[] = "Mando no conectado";
inline constexpr char kUpdated[] = "Actualización OK!!!!";
inline constexpr char kFailed[] = "Error sucedido!";

}  // namespace cli
