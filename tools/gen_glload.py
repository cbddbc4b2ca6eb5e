#!/usr/bin/env python3
"""Generates the GL function loader's tables from the OpenGL registry.

Usage: tools/gen_glload.py REGISTRY_DIR [OUTPUT_DIR]

REGISTRY_DIR holds gl.spec, gl.tm, enumext.spec, glxext.spec, glxenumext.spec
and the published headers glext.h and gl3.h. OUTPUT_DIR is the loader's folder
(default: glload/ beside this script's folder); the generator writes
source/gll_gl_ext.{c,h}, source/glxl_ext.{c,h} and the declaration-group headers
of include/glload. The text around the generated lists comes from the plain-text
templates in tools/glload_templates.

Before writing anything the generator checks its result against the sizes the
loader is built to (entry points, fetches, map rows) and every generated
function-pointer type against the same type in glext.h or gl3.h, and stops
with a message when one of them differs.
"""

import os
import re
import string
import sys

GENERATOR = "tools/gen_glload.py"
TEMPLATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "glload_templates")

# The GL versions with their own declaration group and loader blocks, oldest first.
VERSIONS = ["1_1", "1_2", "1_3", "1_4", "1_5", "2_0", "2_1", "3_0",
            "3_1", "3_2", "3_3", "4_0", "4_1", "4_2"]
# Versions up to 3.0 split into a core-profile block and the rest; later ones
# have only a full block.
SPLIT_VERSIONS = VERSIONS[:VERSIONS.index("3_0") + 1]
# Versions whose left-out entry points get a declaration group of their own.
REM_VERSIONS = ["1_1", "1_2", "1_3", "1_4", "2_0"]

# The registry categories that make up each core version, in fetch order.
# A version's own category comes first; the ARB extensions that the version
# took over unchanged follow in the order the version lists them.
CORE_CATEGORIES = {
    "1_1": ["VERSION_1_0", "VERSION_1_1"],
    "1_2": ["VERSION_1_2"],
    "1_3": ["VERSION_1_3"],
    "1_4": ["VERSION_1_4"],
    "1_5": ["VERSION_1_5"],
    "2_0": ["VERSION_2_0"],
    "2_1": ["VERSION_2_1"],
    "3_0": ["VERSION_3_0", "ARB_framebuffer_object", "ARB_map_buffer_range",
            "ARB_vertex_array_object"],
    "3_1": ["VERSION_3_1", "ARB_uniform_buffer_object", "ARB_copy_buffer"],
    "3_2": ["VERSION_3_2", "ARB_texture_multisample", "ARB_draw_elements_base_vertex",
            "ARB_provoking_vertex", "ARB_sync"],
    "3_3": ["VERSION_3_3", "ARB_timer_query", "ARB_vertex_type_2_10_10_10_rev",
            "ARB_sampler_objects", "ARB_blend_func_extended"],
    "4_0": ["VERSION_4_0", "ARB_transform_feedback2", "ARB_transform_feedback3",
            "ARB_tessellation_shader", "ARB_gpu_shader_fp64", "ARB_draw_indirect",
            "ARB_shader_subroutine"],
    "4_1": ["ARB_vertex_attrib_64bit", "ARB_viewport_array", "ARB_separate_shader_objects",
            "ARB_get_program_binary", "ARB_ES2_compatibility"],
    "4_2": ["ARB_shader_atomic_counters", "ARB_texture_storage", "ARB_internalformat_query",
            "ARB_transform_feedback_instanced", "ARB_base_instance",
            "ARB_shader_image_load_store"],
}

# Where the core-profile split differs from the registry's deprecation marks:
# these deprecated 1.1 entry points stay in the core-profile block, and the
# fixed-form generic-attribute setters of 2.0 go to the rest of the block.
CORE_PROFILE_EXTRAS = {"Indexub", "Indexubv"}
REST_PATTERN_2_0 = re.compile(r"^VertexAttrib[1-4]")

# Categories the loader does not cover: they get no flag, map row or loader.
LEFT_OUT = {
    "GL": {"INGR_blend_func_separate", "SGIX_igloo_interface"},
    "GLX": {"NV_video_output", "SGIX_dmbuffer", "SGIX_hyperpipe", "SGIX_video_source"},
}

# The sizes the loader is built to. A registry that yields other numbers is
# not the one these tables were designed for.
EXPECTED = {
    "core entry points": 905,
    "extension-only entry points": 1387,
    "GL map rows": 405,
    "GL extension loaders": 201,
    "extension fetches": 1638,
    "core refetches": 251,
    "GL_EXT_direct_state_access fetches": 206,
    "loaders fetching one entry point": 47,
    "GLX map rows": 47,
    "GLX extension loaders": 25,
}
BLOCK_SIZES = {  # version: (core-profile block, rest of the full block)
    "1_1": (64, 272), "1_2": (6, 32), "1_3": (9, 37), "1_4": (7, 38), "1_5": (19, 0),
    "2_0": (57, 36), "2_1": (6, 0), "3_0": (84, 0), "3_1": (0, 12), "3_2": (0, 19),
    "3_3": (0, 58), "4_0": (0, 46), "4_1": (0, 88), "4_2": (0, 15),
}


class RegistryError(Exception):
    pass


# ---------------------------------------------------------------- reading

def read_lines(path):
    with open(path, encoding="latin-1") as f:
        return f.read().split("\n")


def read_typemap(path):
    """gl.tm: 'SpecType,*,*, CType,*,*' per line; '*' as C type means the same name."""
    typemap = {}
    for line in read_lines(path):
        line = line.split("#")[0].strip()
        if not line:
            continue
        fields = [f.strip() for f in line.split(",")]
        typemap[fields[0]] = fields[0] if fields[3] == "*" else fields[3]
    return typemap


def read_functions(path):
    """Function records of a .spec file in file order: name, return, params, category."""
    functions = []
    current = None
    for raw in read_lines(path):
        line = raw.split("#")[0].rstrip()
        if not line.strip():
            continue
        if not raw[0].isspace():
            match = re.match(r"^(\w+)\((.*)\)$", line)
            current = None
            if match:
                current = {"name": match.group(1), "params": [], "return": "void",
                           "category": None}
                functions.append(current)
            continue
        if current is None:
            continue
        words = line.split()
        if words[0] == "param":
            # param NAME TYPE DIRECTION KIND [size] [retained]
            current["params"].append({"name": words[1], "type": words[2],
                                      "dir": words[3], "kind": words[4]})
        elif words[0] == "return":
            current["return"] = words[1]
        elif words[0] == "category":
            current["category"] = words[1]
    return functions


def read_new_categories(path):
    """Categories a .spec file announces with 'newcategory:' (no entry points)."""
    result = []
    for line in read_lines(path):
        match = re.match(r"^newcategory:\s*(\w+)", line)
        if match:
            result.append(match.group(1))
    return result


def read_enum_sections(path):
    """Ordered sections of an enum .spec file: name -> list of (constant, value, source).

    A 'use SECTION NAME' line takes the value NAME has where it is defined and
    records SECTION as its source (None for constants the section defines);
    a value that names another constant is replaced by that one's value."""
    sections = {}
    order = []
    current = None
    for raw in read_lines(path):
        line = raw.split("#")[0].rstrip()
        if not line.strip() or line.startswith("passthru:"):
            continue
        header = re.match(r"^(\w+)\s+enum:", line)
        if header:
            current = header.group(1)
            if current not in sections:
                sections[current] = []
                order.append(current)
            continue
        if current is None or not raw[0].isspace():
            continue
        words = line.split()
        if words[0] == "use":
            sections[current].append((words[2], None, words[1]))
        elif len(words) >= 3 and words[1] == "=":
            sections[current].append((words[0], words[2], None))
    defined = {}
    for section in order:
        for name, value, _ in sections[section]:
            if value is not None:
                defined.setdefault(name, value)

    def value_of(name, seen=()):
        value = defined.get(name)
        if value is None or name in seen:
            raise RegistryError("enum %s has no value" % name)
        return value_of(value[3:], seen + (name,)) if value.startswith("GL_") else value

    for section in order:
        sections[section] = [(name, value_of(name), source)
                             for name, _, source in sections[section]]
    return order, sections


# ---------------------------------------------------------------- signatures

def c_type(typemap, spec_type):
    return typemap.get(spec_type, spec_type)


def param_text(typemap, param):
    ctype = c_type(typemap, param["type"])
    if param["kind"] == "value":
        return "%s %s" % (ctype, param["name"])
    if param["dir"] == "in":
        return "const %s *%s" % (ctype, param["name"])
    return "%s *%s" % (ctype, param["name"])


def signature(typemap, function):
    """(return type, parameter list) as the published headers write them."""
    ret = c_type(typemap, function["return"])
    params = ", ".join(param_text(typemap, p) for p in function["params"]) or "void"
    return ret, params


def pfn_name(prefix, name):
    return "PFN%s%sPROC" % (prefix.upper(), name.upper())


def normalise(text):
    return re.sub(r"\s*\*\s*", "*", re.sub(r"\s+", " ", text.strip()))


def read_published_types(paths):
    published = {}
    pattern = re.compile(r"^typedef (.+?) \(APIENTRYP (PFNGL\w+PROC)\) \((.*)\);")
    for path in paths:
        for line in read_lines(path):
            match = pattern.match(line)
            if match:
                published.setdefault(match.group(2), (match.group(1), match.group(3)))
    return published


def read_published_constants(paths):
    """GL_ constants the published headers define with a number: name -> value,
    leaving out the marks that say an extension or version is declared."""
    published = {}
    pattern = re.compile(r"^#define GL_(\w+)\s+(-?(?:0x[0-9A-Fa-f]+|\d+)[uUlL]*)\s*$")
    for path in paths:
        for line in read_lines(path):
            match = pattern.match(line)
            # Names with lower-case letters are extension and version marks.
            if match and match.group(1).isupper() and not match.group(1).startswith(("VERSION_", "GLEXT_")):
                published.setdefault(match.group(1), match.group(2))
    return published


# ---------------------------------------------------------------- the model

def build_model(registry):
    typemap = read_typemap(os.path.join(registry, "gl.tm"))
    functions = read_functions(os.path.join(registry, "gl.spec"))
    by_category = {}
    for function in functions:
        by_category.setdefault(function["category"], []).append(function)

    # Core blocks: for each version its core-profile part and the rest.
    core_profile, rest = {}, {}
    for version in VERSIONS:
        own, left = [], []
        for category in CORE_CATEGORIES[version]:
            own += by_category.get(category, [])
            left += by_category.get(category + "_DEPRECATED", [])
        if version == "1_1":
            extras = [f for f in left if f["name"] in CORE_PROFILE_EXTRAS]
            left = [f for f in left if f["name"] not in CORE_PROFILE_EXTRAS]
            own = own + extras
        if version == "2_0":
            left = [f for f in own if REST_PATTERN_2_0.match(f["name"])]
            own = [f for f in own if not REST_PATTERN_2_0.match(f["name"])]
        if version in SPLIT_VERSIONS:
            core_profile[version], rest[version] = own, left
        else:
            core_profile[version], rest[version] = [], own + left
    core_names = set()
    for version in VERSIONS:
        core_names |= {f["name"] for f in core_profile[version] + rest[version]}

    # Extensions: every category with entry points, every enum section, every
    # announced category, less the core versions and what the loader leaves out.
    enum_order, enum_sections = read_enum_sections(os.path.join(registry, "enumext.spec"))
    loaders = [c for c in by_category if is_extension(c, "GL")]
    names = set(loaders) | {s for s in enum_order if is_extension(s, "GL")}
    extension_map = sorted("GL_" + n for n in names)

    glx_functions = read_functions(os.path.join(registry, "glxext.spec"))
    glx_loaders = []
    for function in glx_functions:
        if is_extension(function["category"], "GLX") and function["category"] not in glx_loaders:
            glx_loaders.append(function["category"])
    glx_enum_order, _ = read_enum_sections(os.path.join(registry, "glxenumext.spec"))
    glx_names = set(glx_loaders) | {s for s in glx_enum_order + read_new_categories(
        os.path.join(registry, "glxext.spec")) if is_extension(s, "GLX")}
    glx_map = sorted("GLX_" + n for n in glx_names)

    return {
        "typemap": typemap, "functions": functions, "by_category": by_category,
        "core_profile": core_profile, "rest": rest, "core_names": core_names,
        "loaders": loaders, "extension_map": extension_map,
        "enum_order": enum_order, "enum_sections": enum_sections,
        "glx_loaders": glx_loaders, "glx_map": glx_map,
    }


def is_extension(category, api):
    return (category is not None and not category.startswith("VERSION_")
            and not category.endswith("_DEPRECATED") and category not in LEFT_OUT[api])


def variable(model, name):
    """The entry point's variable: __gle for core entry points, else its GL name."""
    return ("__gle" + name) if name in model["core_names"] else ("gl" + name)


# ---------------------------------------------------------------- checks

def check_model(model, registry):
    counts = {
        "core entry points": len(model["core_names"]),
        "GL map rows": len(model["extension_map"]),
        "GL extension loaders": len(model["loaders"]),
        "GLX map rows": len(model["glx_map"]),
        "GLX extension loaders": len(model["glx_loaders"]),
    }
    fetched = [f["name"] for c in model["loaders"] for f in model["by_category"][c]]
    counts["extension fetches"] = len(fetched)
    counts["core refetches"] = sum(1 for n in fetched if n in model["core_names"])
    counts["extension-only entry points"] = len({n for n in fetched
                                                 if n not in model["core_names"]})
    counts["GL_EXT_direct_state_access fetches"] = len(
        model["by_category"]["EXT_direct_state_access"])
    counts["loaders fetching one entry point"] = sum(
        1 for c in model["loaders"] if len(model["by_category"][c]) == 1)
    problems = ["%s: %d, expected %d" % (k, counts[k], v)
                for k, v in EXPECTED.items() if counts[k] != v]
    for version in VERSIONS:
        sizes = (len(model["core_profile"][version]), len(model["rest"][version]))
        if sizes != BLOCK_SIZES[version]:
            problems.append("block %s: %s, expected %s" % (version, sizes, BLOCK_SIZES[version]))
    if problems:
        raise RegistryError("the registry does not give the loader's tables:\n  "
                            + "\n  ".join(problems))

    published = read_published_types([os.path.join(registry, "glext.h"),
                                      os.path.join(registry, "gl3.h")])
    mismatches, checked = [], 0
    for function in all_entry_points(model):
        pfn = pfn_name("gl", function["name"])
        if pfn not in published:
            continue
        checked += 1
        ret, params = signature(model["typemap"], function)
        want_ret, want_params = published[pfn]
        if normalise(ret) != normalise(want_ret) or normalise(params) != normalise(want_params):
            mismatches.append("%s: (%s) %s, published (%s) %s"
                              % (pfn, ret, params, want_ret, want_params))
    if mismatches:
        raise RegistryError("generated types differ from the published headers:\n  "
                            + "\n  ".join(mismatches))

    declared = {}
    for _, constants in group_constants(model, declaration_groups(model)).items():
        declared.update(constants)
    extensions = set(model["extension_map"])
    missing = ["GL_%s %s" % (name, value) for name, value in read_published_constants(
        [os.path.join(registry, "glext.h"), os.path.join(registry, "gl3.h")]).items()
        if "GL_" + name not in extensions
        and declared.get(name, "").lower().rstrip("ul") != value.lower().rstrip("ul")]
    if missing:
        raise RegistryError("published constants missing or with another value:\n  "
                            + "\n  ".join(sorted(missing)))
    return checked


def all_entry_points(model):
    """Every entry point with a variable, each once, in registry order."""
    wanted = set(model["core_names"])
    for category in model["loaders"]:
        wanted |= {f["name"] for f in model["by_category"][category]}
    return [f for f in model["functions"] if f["name"] in wanted]


# ---------------------------------------------------------------- rendering

def template(name):
    with open(os.path.join(TEMPLATES, name)) as f:
        return string.Template(f.read())


def header_line():
    return "Generated by %s from the OpenGL registry. Do not edit." % GENERATOR


def fetch_lines(model, functions, indent="\t"):
    lines = []
    for function in functions:
        var = variable(model, function["name"])
        lines.append('%s%s = (%s)gleIntGetProcAddress("gl%s");'
                     % (indent, var, pfn_name("gl", function["name"]), function["name"]))
        lines.append("%sif(!%s) bIsLoaded = 0;" % (indent, var))
    return lines


def loader_function(name, body_lines, start="1"):
    lines = ["int %s(void)" % name, "{", "\tint bIsLoaded = %s;" % start]
    lines += body_lines
    lines += ["\treturn bIsLoaded;", "}", ""]
    return lines


def render_gl_source(model):
    out = []
    ext_map = model["extension_map"]
    out += ["int glext_%s = 0;" % n[3:] for n in ext_map] + [""]
    for function in all_entry_points(model):
        out.append("%s %s = NULL;" % (pfn_name("gl", function["name"]),
                                      variable(model, function["name"])))
    out += ["", "void gleIntClear(void)", "{"]
    out += ["\tglext_%s = 0;" % n[3:] for n in ext_map]
    out += ["}", ""]

    for category in model["loaders"]:
        out += loader_function("gleIntLoad_" + category,
                               fetch_lines(model, model["by_category"][category]))

    out += ["const StrToExtMap gleIntExtensionMap[] = {"]
    loaders = set(model["loaders"])
    for name in ext_map:
        loader = ("gleIntLoad_" + name[3:]) if name[3:] in loaders else "NULL"
        out.append('\t{"%s", &glext_%s, %s},' % (name, name[3:], loader))
    out += ["};", "", "const int gleIntExtensionMapSize = %d;" % len(ext_map), ""]

    base = [f for f in model["core_profile"]["1_1"] + model["core_profile"]["3_0"]
            if f["name"] in ("GetString", "GetStringi", "GetIntegerv")]
    out += ["void gleIntLoadBaseFuncs(void)", "{"]
    for function in base:
        out.append('\t%s = (%s)gleIntGetProcAddress("gl%s");'
                   % (variable(model, function["name"]), pfn_name("gl", function["name"]),
                      function["name"]))
    out += ["}", ""]

    for version in SPLIT_VERSIONS:
        out += loader_function("gleIntLoadCore_%s_Version_3_1" % version,
                               fetch_lines(model, model["core_profile"][version]))
        out += loader_function("gleIntLoadCore_%s_Base" % version,
                               fetch_lines(model, model["rest"][version]),
                               start="gleIntLoadCore_%s_Version_3_1()" % version)
    for version in VERSIONS[len(SPLIT_VERSIONS):]:
        out += loader_function("gleIntLoadCore_%s_Base" % version,
                               fetch_lines(model, model["rest"][version]))

    for name, blocks in version_sets():
        body = ["\tgleIntClear();"]
        body += ["\tif(!%s()) bIsLoaded = 0;" % block for block in blocks]
        out += loader_function(name, body)
    return "\n".join(out)


def version_sets():
    """(loader name, blocks in order) for every version set."""
    def full(upto):
        return ["gleIntLoadCore_%s_Base" % v for v in VERSIONS[:VERSIONS.index(upto) + 1]]

    def core(upto):
        return (["gleIntLoadCore_%s_Version_3_1" % v for v in SPLIT_VERSIONS]
                + ["gleIntLoadCore_%s_Base" % v
                   for v in VERSIONS[len(SPLIT_VERSIONS):VERSIONS.index(upto) + 1]])

    sets = [("gleIntLoad_Version_2_1", full("2_1")), ("gleIntLoad_Version_3_0", full("3_0"))]
    for version in VERSIONS[len(SPLIT_VERSIONS):]:
        sets.append(("gleIntLoad_Version_%s" % version, core(version)))
        sets.append(("gleIntLoad_Version_%s_Comp" % version, full(version)))
    return sets


def render_gl_internal_header(model):
    out = ["extern const StrToExtMap gleIntExtensionMap[];",
           "extern const int gleIntExtensionMapSize;", "",
           "void gleIntClear(void);", "void gleIntLoadBaseFuncs(void);", ""]
    for version in SPLIT_VERSIONS:
        out.append("int gleIntLoadCore_%s_Version_3_1(void);" % version)
    out += ["int gleIntLoadCore_%s_Base(void);" % v for v in VERSIONS] + [""]
    out += ["int %s(void);" % name for name, _ in version_sets()] + [""]
    out += ["int gleIntLoad_%s(void);" % c for c in model["loaders"]]
    return "\n".join(out)


def render_glx_source(model):
    out = ["int glXext_%s = 0;" % n[4:] for n in model["glx_map"]] + [""]
    out += ["void glXeIntClear(void)", "{"]
    out += ["\tglXext_%s = 0;" % n[4:] for n in model["glx_map"]] + ["}", ""]
    for category in model["glx_loaders"]:
        out += ["int glXeIntLoad_%s(void)" % category, "{", "\treturn 1;", "}", ""]
    out += ["const StrToExtMap glXeIntExtensionMap[] = {"]
    loaders = set(model["glx_loaders"])
    for name in model["glx_map"]:
        loader = ("glXeIntLoad_" + name[4:]) if name[4:] in loaders else "NULL"
        out.append('\t{"%s", &glXext_%s, %s},' % (name, name[4:], loader))
    out += ["};", "", "const int glXeIntExtensionMapSize = %d;" % len(model["glx_map"])]
    return "\n".join(out)


def render_glx_internal_header(model):
    out = ["extern int glXext_%s;" % n[4:] for n in model["glx_map"]] + [""]
    out += ["extern const StrToExtMap glXeIntExtensionMap[];",
            "extern const int glXeIntExtensionMapSize;", "", "void glXeIntClear(void);", ""]
    out += ["int glXeIntLoad_%s(void);" % c for c in model["glx_loaders"]]
    return "\n".join(out)


# Declaration groups: (group name, entry points, enum sections), in include order.
def declaration_groups(model):
    extension_fetched = {f["name"] for c in model["loaders"]
                         for f in model["by_category"][c]}
    groups = []
    for version in VERSIONS:
        own = [f for f in model["core_profile"][version] if f["name"] not in extension_fetched]
        sections = ["VERSION_" + version]
        if version == "1_1":
            sections = ["VERSION_1_0", "VERSION_1_1"]
        left = [f for f in model["rest"][version] if f["name"] not in extension_fetched]
        deprecated = [s + "_DEPRECATED" for s in sections]
        if version in REM_VERSIONS:
            groups.append(("_int_gl_" + version, own, sections))
            groups.append(("_int_gl_%s_rem_3_1" % version, left, deprecated))
        else:
            groups.append(("_int_gl_" + version, own + left, sections + deprecated))
    extension_functions = [f for f in all_entry_points(model) if f["name"] in extension_fetched]
    # An extension's deprecated constants (ARB_imaging's convolution and
    # histogram enums, say) are declared with the extension.
    ext_sections = [s for s in model["enum_order"] if is_extension(s, "GL") or (
        s.endswith("_DEPRECATED") and is_extension(s[:-len("_DEPRECATED")], "GL"))]
    groups.append(("_int_gl_exts", extension_functions, ext_sections))
    return groups


def group_constants(model, groups):
    """Each group's constants, each constant once, in the first group that
    lists it. Like an entry point that an extension also brings, a constant
    that a version takes over from an extension stands in the extensions
    group, where that group declares it."""
    extension_constants = {constant for name, _, sections in groups if name == "_int_gl_exts"
                           for section in sections
                           for constant, _, _ in model["enum_sections"].get(section, [])}
    seen = set()
    result = {}
    for name, _, sections in groups:
        constants = []
        for section in sections:
            for constant, value, source in model["enum_sections"].get(section, []):
                taken_over = (name != "_int_gl_exts" and source and is_extension(source, "GL")
                              and constant in extension_constants)
                if constant in seen or taken_over:
                    continue
                seen.add(constant)
                constants.append((constant, value))
        result[name] = constants
    return result


def render_group_c(model, name, functions, constants, extension_flags):
    out = ["#define GL_%s %s" % (c, v) for c, v in constants]
    out += [""] + typedef_lines(model, functions) + [""]
    if extension_flags:
        out += ["extern int glext_%s;" % n[3:] for n in model["extension_map"]] + [""]
    out += ["extern %s %s;" % (pfn_name("gl", f["name"]), variable(model, f["name"]))
            for f in functions]
    return "\n".join(out)


def render_group_cpp(model, name, functions, constants, extension_flags):
    """(C declarations, body of namespace gl) of a group's namespaced header."""
    decl = typedef_lines(model, functions) + [""]
    if extension_flags:
        decl += ["extern int glext_%s;" % n[3:] for n in model["extension_map"]] + [""]
    decl += ["extern %s %s;" % (pfn_name("gl", f["name"]), variable(model, f["name"]))
             for f in functions]
    body = []
    # A 64-bit value would widen the group's enumeration past what every
    # compiler accepts next to the negative ones, so it is a constant of its own.
    wide = [(c, v) for c, v in constants if v.endswith("ull")]
    narrow = [(c, v) for c, v in constants if not v.endswith("ull")]
    if narrow:
        body += ["\tenum %s" % name, "\t{"]
        body += ["\t\tGL_%s = %s," % (c, v) for c, v in narrow]
        body += ["\t};", ""]
    if wide:
        body += ["\tconst GLuint64 GL_%s = %s;" % (c, v) for c, v in wide] + [""]
    for function in functions:
        ret, params = signature(model["typemap"], function)
        args = ", ".join(p["name"] for p in function["params"])
        call = "%s(%s)" % (variable(model, function["name"]), args)
        statement = ("%s;" % call) if ret == "void" else ("return %s;" % call)
        body.append("\tinline %s %s(%s) { %s }" % (ret, function["name"], params, statement))
    return "\n".join(decl), "\n".join(body)


def typedef_lines(model, functions):
    lines = []
    for function in functions:
        ret, params = signature(model["typemap"], function)
        lines.append("typedef %s (*%s)(%s);" % (ret, pfn_name("gl", function["name"]), params))
    return lines


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def generate(registry, output):
    model = build_model(registry)
    checked = check_model(model, registry)

    def fill(template_name, **fields):
        return template(template_name).substitute(header=header_line(), **fields)

    write(os.path.join(output, "source", "gll_gl_ext.c"),
          fill("gll_gl_ext.c.txt", tables=render_gl_source(model)))
    write(os.path.join(output, "source", "gll_gl_ext.h"),
          fill("gll_gl_ext.h.txt", declarations=render_gl_internal_header(model)))
    write(os.path.join(output, "source", "glxl_ext.c"),
          fill("glxl_ext.c.txt", tables=render_glx_source(model)))
    write(os.path.join(output, "source", "glxl_ext.h"),
          fill("glxl_ext.h.txt", declarations=render_glx_internal_header(model)))

    groups = declaration_groups(model)
    constants = group_constants(model, groups)
    include_dir = os.path.join(output, "include", "glload")
    for name, functions, _ in groups:
        flags = name == "_int_gl_exts"
        guard = "GLLOAD%s" % name.upper()
        write(os.path.join(include_dir, name + ".h"),
              fill("group.h.txt", guard=guard + "_H",
                   declarations=render_group_c(model, name, functions, constants[name], flags)))
        declarations, namespace = render_group_cpp(model, name, functions, constants[name],
                                                   flags)
        write(os.path.join(include_dir, name + ".hpp"),
              fill("group.hpp.txt", guard=guard + "_HPP", declarations=declarations,
                   namespace=namespace))

    core_3_3 = [n for n, _, _ in groups
                if "rem" not in n and n != "_int_gl_exts"
                and VERSIONS.index(n[len("_int_gl_"):]) <= VERSIONS.index("3_3")]
    every = [n for n, _, _ in groups if n != "_int_gl_exts"]
    for header, names, what in (("gl_3_3", core_3_3, "the GL 3.3 core profile"),
                                ("gl_all", every, "every GL version up to 4.2")):
        for suffix in (".h", ".hpp"):
            includes = "\n".join('#include "%s%s"' % (n, suffix)
                                 for n in names + ["_int_gl_exts"])
            write(os.path.join(include_dir, header + suffix),
                  fill("aggregate.txt", guard="GLLOAD_%s_%s" % (header.upper(),
                                                                suffix[1:].upper()),
                       what=what, includes=includes))
    return model, checked


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    registry = argv[1]
    output = argv[2] if len(argv) == 3 else os.path.join(
        os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "glload")
    try:
        model, checked = generate(registry, output)
    except (OSError, RegistryError) as error:
        sys.stderr.write("gen_glload: %s\n" % error)
        return 1
    extension_only = len(all_entry_points(model)) - len(model["core_names"])
    print("gen_glload: %d core and %d extension-only entry points, %d GL and %d GLX map rows, "
          "%d types and every published constant checked against the published headers"
          % (len(model["core_names"]), extension_only, len(model["extension_map"]),
             len(model["glx_map"]), checked))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
