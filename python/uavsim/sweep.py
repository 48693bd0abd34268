"""python3 -m uavsim.sweep SWEEP.json --out results.csv [--scheduler tcp://HOST:8786] [--workers N]

The command line of uavsim.sweep (see uavsim._sweep). Importing this module keeps
``uavsim.sweep(...)`` callable: the module itself calls the sweep function.
"""

import sys
import types

from ._sweep import main, sweep as _sweep


class _CallableModule(types.ModuleType):
    def __call__(self, *args, **kwargs):
        return _sweep(*args, **kwargs)


sys.modules[__name__].__class__ = _CallableModule

if __name__ == "__main__":
    sys.exit(main())
