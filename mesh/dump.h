// Plain-text dumps of the loaded mesh, written once at start-up into the
// working directory.
#pragma once

void dump_vert();   // "dump.txt": vertex positions
void dump_norm();   // "norm.txt": face normals; fatal if it cannot be written whole
void dump_vnorm();  // "vnorml.txt": vertex normals

// The same dumps written with one fprintf per record: byte for byte what
// the functions above write, and slower on large models.
void dump_vert_printf();
void dump_norm_printf();
void dump_vnorm_printf();
