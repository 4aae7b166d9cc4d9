"""Reading TOML into Python dicts."""
import kelvra.toml as toml

config = toml.loads('''
[hermitian]
max_nodes = 4096

[[sensor]]
name = "north"
gain = 1.5

[[sensor]]
name = "south"
gain = 0.75
''')
print(config)
print("nodes:", config["hermitian"]["max_nodes"], " sensors:", [s["name"] for s in config["sensor"]])
