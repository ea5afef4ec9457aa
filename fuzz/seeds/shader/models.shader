/* Map objects: trees and flames.
   Most have no editor image of their own. */
models/mapobjects/tree/bark
{
	cull none
	{
		map $whiteimage
	}
	{
		map models/mapobjects/tree/bark.tga
		alphaFunc GE128
		depthWrite
	}
}
models/mapobjects/flame/flame{
	surfaceparm trans
	{
		animMap 10 models/mapobjects/flame/f1.tga models/mapobjects/flame/f2.tga models/mapobjects/flame/f3.tga
		blendFunc add
	}
}
"models/mapobjects/odd name" { { MAP "models/mapobjects/odd image.tga" } }
