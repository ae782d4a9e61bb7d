// Tuning data: positions annotated with an evaluation and a game result are
// searched; positions whose annotations contradict each other or the search
// are dropped, the others written with the search score.
#pragma once

namespace zelk {

// Win probability of a score in centipawns: 1 / (1 + e^(-0.006 s)).
double win_probability(int score);

// True when an annotated score contradicts the game result (1.0, 0.5, 0.0)
// so clearly that the position is dropped before any search.
bool is_inconsistent(int ce, double game_result);

// True when the search score is close enough to the game result to keep
// the position.
bool search_agrees(int search_score, double game_result);

// A search score pulled halfway towards the tablebase result of the root:
// `root_result` 4 a win, 0 a loss, anything else a draw; -1 none.
int tablebase_adjusted(int score, int root_result);

// Variant 1 writes the position at the end of the principal variation,
// variant 2 the input position; variant 2 first loads the tablebases of
// `tb_path` (directories joined by ':'), so roots they resolve pull the
// score towards the table result. Does nothing when the output is named
// like the input or a file cannot be opened.
void make_tuning_data(const char* input_name, const char* output_name, int variant, const char* tb_path = "");

} // namespace zelk
