// coresim: the stand-in core service of the local device and the tests.
#pragma once
