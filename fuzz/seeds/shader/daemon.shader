textures/shared_ex/floor_a // Daemon engine materials
{
	qer_editorimage textures/shared_ex/floor_a_d
	DiffuseMap textures/shared_ex/floor_a_d
	normalMap textures/shared_ex/floor_a_n
	specularMap textures/shared_ex/floor_a_s
}

textures/shared_ex/sky_only
{
	surfaceparm sky
	skyparms env/sky - -
}
