# Usage: blender -b --factory-startup --python-exit-code 1 --python blender_corners.py -- FILE.glb
# Opens the file with Blender's own glTF importer and prints each corner of
# each face: where it stands in Blender's world (Z up, as in the ASE file),
# the texel of its material's image under its texture coordinate, and
# whether the image came embedded. Exits 77 when the importer cannot run.
import sys

try:
    import numpy
except ImportError:
    sys.exit(77)
numpy.bool = bool  # gone from numpy 1.24, still used by Blender 3.4's importer
import bpy

bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=sys.argv[sys.argv.index("--") + 1])
for ob in bpy.data.objects:
    if ob.type != "MESH":
        continue
    mesh = ob.data
    image = next(n.image for n in mesh.materials[0].node_tree.nodes if n.type == "TEX_IMAGE")
    width, height = image.size
    pixels = image.pixels[:]
    for loop in mesh.loops:
        u, v = mesh.uv_layers.active.data[loop.index].uv
        at = (min(int(v * height), height - 1) * width + min(int(u * width), width - 1)) * 4
        p = ob.matrix_world @ mesh.vertices[loop.vertex_index].co
        print("corner %g %g %g texel %g %g %g embedded %d"
              % (*(round(c, 4) for c in p), *pixels[at:at + 3], image.packed_file is not None))
