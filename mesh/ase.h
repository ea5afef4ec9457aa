// Keyword-driven reader that fills the mesh store from an ASE text file.
#pragma once
#include <cstdio>

// The face that vertex-normal lines fill, and the corner the next one fills.
extern int cur_face;
extern int vnorm_corner;

// Opens, reads and closes the model, or ends the process with status 1.
void load_model(const char* path);
// Rewinds the stream and reads it to the end into the mesh store. Reads the
// stream in large blocks; stores exactly what parse_ase_scanf stores.
void parse_ase(FILE* stream);
// The same reader through fscanf and fgets, one token at a time: the
// reference that parse_ase is held to, slow on large models.
void parse_ase_scanf(FILE* stream);

// The readers of parse_ase_scanf, one per keyword.
void read_num_vertex(FILE* stream);
void read_num_faces(FILE* stream);
void read_vertex(FILE* stream);
void read_face(FILE* stream);
void read_tvert(FILE* stream);
void read_tface(FILE* stream);
void read_u_offset(FILE* stream);
void read_v_offset(FILE* stream);
void read_face_normal(FILE* stream);
void read_vertex_normal(FILE* stream);

// Back to the state of a fresh process (store emptied, counters zero).
void reset_ase_reader();
