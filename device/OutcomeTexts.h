#pragma once
// How an update ends, in the words that the window and the command-line tool
// both say.

inline constexpr char kNotConnected[] = "Mando no conectado";
inline constexpr char kUpdated[] = "Actualización OK!!!!";
inline constexpr char kFailed[] = "Error sucedido!";
