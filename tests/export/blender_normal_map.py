# Usage: blender -b --factory-startup --python-exit-code 1 --python blender_normal_map.py -- FILE.glb
# Opens the file with Blender's own glTF importer and prints, for each
# material, the images that feed a Normal Map node's colour and the base
# colour, with the first texel of each. Exits 77 when the importer cannot run.
import sys

try:
    import numpy
except ImportError:
    sys.exit(77)
numpy.bool = bool  # gone from numpy 1.24, still used by Blender 3.4's importer
import bpy

bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=sys.argv[sys.argv.index("--") + 1])


def feeding_image(socket):
    """The image whose texture node feeds the socket, through any nodes between."""
    for link in socket.links:
        node = link.from_node
        if node.type == "TEX_IMAGE":
            return node.image
        for upstream in node.inputs:
            image = feeding_image(upstream)
            if image is not None:
                return image
    return None


def first_texel(image):
    return " ".join("%d" % round(c * 255) for c in image.pixels[:4])


for material in bpy.data.materials:
    if not material.use_nodes:
        continue
    for node in material.node_tree.nodes:
        if node.type == "NORMAL_MAP":
            image = feeding_image(node.inputs["Color"])
            print("normal map node fed by", "nothing" if image is None else first_texel(image))
        if node.type == "BSDF_PRINCIPLED":
            image = feeding_image(node.inputs["Base Color"])
            print("base colour fed by", "nothing" if image is None else first_texel(image))
