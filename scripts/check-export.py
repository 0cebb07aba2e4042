# Blender's view of voxwalk's exports (run by scripts/check-export inside
# `blender -b --python`): imports each file into an empty scene, checks the
# bounds, the face count and that the colours are the palette's, and renders
# one picture of a .glb. Arguments after "--": a JSON file of cases.
# Prints one line per check; exits 1 when one fails.
import json
import sys

import bpy
import numpy
from mathutils import Vector

# Debian 12's Blender 3.4 glTF importer still says numpy.bool, which numpy
# 1.24 (the one Debian 12 ships) removed: give the alias back.
if not hasattr(numpy, "bool") or "bool" in getattr(numpy, "__former_attrs__", {}):
    numpy.bool = bool

cases = json.load(open(sys.argv[sys.argv.index("--") + 1]))
failed = 0


def report(ok, text):
    global failed
    print(("ok   " if ok else "FAIL ") + text, flush=True)
    failed += 0 if ok else 1


def empty_scene():
    bpy.ops.wm.read_factory_settings(use_empty=True)


def import_file(path):
    if path.endswith((".glb", ".gltf")):
        bpy.ops.import_scene.gltf(filepath=path)
    elif path.endswith(".obj"):
        bpy.ops.wm.obj_import(filepath=path)  # Y up in the file, Z up in Blender
    elif path.endswith(".ply"):
        bpy.ops.import_mesh.ply(filepath=path)


def meshes():
    return [o for o in bpy.context.scene.objects if o.type == "MESH"]


def bounds(objects):
    lo, hi = Vector((1e30,) * 3), Vector((-1e30,) * 3)
    for o in objects:
        for corner in o.bound_box:
            p = o.matrix_world @ Vector(corner)
            lo = Vector(map(min, lo, p))
            hi = Vector(map(max, hi, p))
    return lo, hi


def close(a, b, tolerance=1e-3):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def texture_pixels(objects):
    for o in objects:
        for slot in o.material_slots:
            if slot.material and slot.material.use_nodes:
                for node in slot.material.node_tree.nodes:
                    if node.type == "TEX_IMAGE" and node.image:
                        return node.image
    return None


for case in cases:
    path, palette = case["file"], case["palette"]
    empty_scene()
    try:
        import_file(path)
    except RuntimeError as e:
        report(False, f"{path}: Blender cannot import it: {str(e).splitlines()[-1]}")
        continue
    bpy.context.view_layer.update()
    objects = meshes()
    lo, hi = bounds(objects)
    report(close(lo, case["min"]) and close(hi, case["max"]),
           f"{path}: bounds {tuple(round(v, 3) for v in lo)} to {tuple(round(v, 3) for v in hi)}, "
           f"expected {tuple(case['min'])} to {tuple(case['max'])}")
    faces = sum(len(o.data.polygons) for o in objects)
    report(faces == case["faces"], f"{path}: {faces} faces, expected {case['faces']}")
    # Colours: the texture's texels (palette mode) or the vertex colours.
    used = set()
    image = texture_pixels(objects)
    if case["colors"] == "palette":
        ok = image is not None and tuple(image.size) == (256, 1)
        if ok:
            px = list(image.pixels)
            ok = all(all(abs(px[4 * k + c] * 255 - palette[k][c]) < 0.6 for c in range(3)) for k in range(256))
        report(ok, f"{path}: the material's texture is the 256 x 1 palette")
    else:
        bad = 0
        checked = 0
        allowed = {tuple(rgb) for rgb in palette}
        for o in objects:
            attributes = o.data.color_attributes
            if not attributes:
                bad += 1
                continue
            attribute = attributes[0]
            for value in attribute.data[:2000]:
                rgb = value.color_srgb[:3] if hasattr(value, "color_srgb") else value.color[:3]
                checked += 1
                if tuple(round(c * 255) for c in rgb) not in allowed:
                    bad += 1
        report(bad == 0 and checked > 0, f"{path}: {checked} vertex colours checked, {bad} not in the palette")

render = [c for c in cases if c.get("render")]
if render:
    case = render[0]
    empty_scene()
    import_file(case["file"])
    scene = bpy.context.scene
    lo, hi = bounds(meshes())
    centre, size = (lo + hi) / 2, max(hi - lo)
    camera = bpy.data.objects.new("camera", bpy.data.cameras.new("camera"))
    scene.collection.objects.link(camera)
    camera.location = centre + Vector((1.3, -1.8, 1.1)) * size
    camera.rotation_euler = (centre - camera.location).to_track_quat("-Z", "Y").to_euler()
    scene.camera = camera
    sun = bpy.data.objects.new("sun", bpy.data.lights.new("sun", "SUN"))
    sun.data.energy = 3
    sun.rotation_euler = (0.7, 0.2, 0.6)
    scene.collection.objects.link(sun)
    world = bpy.data.worlds.new("world")
    world.use_nodes = True
    world.node_tree.nodes["Background"].inputs[0].default_value = (0.6, 0.7, 0.8, 1)
    world.node_tree.nodes["Background"].inputs[1].default_value = 0.8
    scene.world = world
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = 24
    scene.cycles.use_denoising = False  # Debian builds Blender without OpenImageDenoise
    scene.render.resolution_x, scene.render.resolution_y = 480, 480
    scene.render.filepath = case["render"]
    bpy.ops.render.render(write_still=True)
    print(f"rendered {case['file']} to {case['render']}", flush=True)

print(f"{failed} failed", flush=True)
sys.exit(1 if failed else 0)
