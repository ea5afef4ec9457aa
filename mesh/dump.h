// Plain-text dumps of the loaded mesh, written once at start-up into the
// working directory.
#pragma once

void dump_vert();   // "dump.txt": vertex positions
void dump_norm();   // "norm.txt": face normals; fatal if it cannot be created
void dump_vnorm();  // "vnorml.txt": vertex normals
