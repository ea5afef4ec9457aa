// Walls of the base set.
textures/base_wall/metal_panel
{
	qer_editorImage textures/base_wall/metal_panel_edit.tga
	surfaceparm metalsteps
	{
		map $lightmap
		rgbGen identity
	}
	{
		map textures/base_wall/metal_panel.tga
		blendFunc GL_DST_COLOR GL_ZERO
	}
}

textures/base_wall/glow_strip
{
	surfaceparm nomarks
	q3map_surfacelight 400
	{
		map textures/base_wall/glow_strip.tga
	}
	{
		clampMap textures/base_wall/glow_flare.tga
		blendFunc GL_ONE GL_ONE
		tcMod rotate 30
	}
}
